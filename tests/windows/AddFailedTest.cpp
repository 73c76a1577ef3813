#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "AddFailed.h"
#include "GuiTestEnv.h"

using namespace guitest;

namespace {

class FailedAddFiles : public TGuiTest {};

TEST_F(FailedAddFiles, ListsEveryEntryCentredOverItsOwnerAndOpensTheHelp) {
    Vars.HelpLink = "https://help.example/";
    QWidget owner;
    owner.setGeometry(100, 50, 700, 561);
    owner.show();
    const std::vector<std::string> failed = {"/music/a.mp3: Invalid data found",
                                             "/music/b.ogg: No such file or directory"};

    std::vector<std::string> rows;
    QString caption, text;
    QSize size;
    QPoint position;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<TFormFailedAddFile*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        caption = window->windowTitle();
        text = window->LabelText->text();
        size = window->size();
        position = window->pos();
        for (int i = 0; i < window->ListViewFiles->topLevelItemCount(); ++i)
            rows.push_back(window->ListViewFiles->topLevelItem(i)->text(0).toStdString());
        EXPECT_EQ(window->ListViewFiles->headerItem()->text(0), "File");
        EXPECT_EQ(window->ListViewFiles->columnWidth(0), 380);
        EXPECT_TRUE(window->LabelText->wordWrap());
        EXPECT_TRUE(window->ButtonClose->isDefault());
        EXPECT_EQ(window->ButtonMoreInfo->text(), "More Information...");
        window->ButtonMoreInfo->click();
        window->ButtonClose->click();
    });
    TFormFailedAddFile::ShowFailedFiles(&owner, failed);

    EXPECT_EQ(rows, failed);
    EXPECT_EQ(caption, "Failed to Add Files");
    EXPECT_EQ(text.toStdString(),
              "Failed to add the following files. The converter might not support the file "
              "type or might not support the codec that was used to compress the file. Click "
              "\"More Information\" to view a list of supported file types and releavant "
              "codecs.");
    EXPECT_EQ(size, QSize(425, 290));
    const QRect frame = owner.frameGeometry();
    EXPECT_EQ(position, QPoint(frame.left() + (frame.width() - 425) / 2,
                               frame.top() + (frame.height() - 290) / 2));
    EXPECT_EQ(Services.Opened, std::vector<std::string>{"https://help.example/"});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
