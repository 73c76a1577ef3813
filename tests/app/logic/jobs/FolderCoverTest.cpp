// Which picture beside a source is its album's cover: cover.* before folder.* before front.*
// before albumart*.*, JPEG and PNG by their extensions in any case, nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "AppTestEnv.h"
#include "jobs/CoverScale.h"
#include "jobs/FolderCover.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* Jpeg = "\xFF\xD8\xFF\xE0 a jpeg";

TEST(FolderCover, TheFirstKindPresentWinsInAnyCase) {
    // Each row: the pictures in the folder, the one that must be taken ("" none).
    const struct {
        std::vector<std::string> Files;
        std::string Cover;
    } cases[] = {
        {{"folder.jpg", "cover.png", "front.jpg"}, "cover.png"},
        {{"front.JPEG", "Folder.JPG"}, "Folder.JPG"},
        {{"AlbumArt_{ABC}_Large.jpg", "FRONT.PNG"}, "FRONT.PNG"},
        {{"AlbumArtSmall.jpg", "back.jpg"}, "AlbumArtSmall.jpg"},
        {{"cover.gif", "folder.bmp", "back.jpg", "cover.jpg.txt"}, ""},
        {{"covers.jpg", "myfolder.png"}, ""},
    };
    int index = 0;
    for (const auto& c : cases) {
        const std::string dir = apptest::FreshDir("case" + std::to_string(index++));
        for (const std::string& name : c.Files)
            apptest::WriteFile(dir + name, Jpeg);
        apptest::WriteFile(dir + "01.flac", "audio");
        const std::string found = FindFolderCover(dir + "01.flac");
        EXPECT_EQ(found.empty() ? "" : fs::path(found).filename().string(), c.Cover)
            << c.Files.front();
    }
}

TEST(FolderCover, AFileNamedLikeACoverThatIsNoPictureIsNotTaken) {
    const std::string dir = apptest::FreshDir("folder-cover-bad");
    apptest::WriteFile(dir + "cover.jpg", "<html>not a picture</html>");
    TCoverPicture picture;
    EXPECT_FALSE(ReadFolderCover(dir + "a.flac", picture));
    apptest::WriteFile(dir + "cover.jpg", Jpeg);
    ASSERT_TRUE(ReadFolderCover(dir + "a.flac", picture));
    EXPECT_EQ(picture.Data, Jpeg);
    EXPECT_EQ(picture.Mime, "image/jpeg");
    EXPECT_EQ(picture.Type, 3);
}

TEST(CoverScale, FitsTheLongerSideKeepingTheProportions) {
    const struct {
        int Width, Height, Max, FitWidth, FitHeight;
    } cases[] = {
        {800, 600, 500, 500, 375}, {600, 800, 500, 375, 500}, {1000, 1000, 500, 500, 500},
        {400, 300, 500, 400, 300}, {3000, 1, 500, 500, 1},    {500, 501, 500, 499, 500},
    };
    for (const auto& c : cases) {
        int width = 0, height = 0;
        FitPictureSize(c.Width, c.Height, c.Max, width, height);
        EXPECT_EQ(width, c.FitWidth) << c.Width << "x" << c.Height;
        EXPECT_EQ(height, c.FitHeight) << c.Width << "x" << c.Height;
    }
}

} // namespace
