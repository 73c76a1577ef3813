#include "PageTexts.h"

// clang-format off
const std::array<TPageTexts, PageCount> PageTextTable = {{
    // LabelTitle                                                                                            Back   Next       Next   Exit
    {"Select the audios/videos you want to convert. Use \"Move Up\" and \"Move Down\" to change the order.", false, "Next",    true,  "Exit"},
    {"Select an output mode and specify a path for the output files.",                                      true,  "Convert", true,  "Cancel"},
    {"Conversion information.",                                                                             false, "Next",    false, "Cancel"},
    {"The conversion is finished.",                                                                         false, "Finish",  true,  "Exit"},
}};
// clang-format on

const TPageTexts* PageTextsOf(int pageIndex) {
    if (pageIndex < 0 || pageIndex >= PageCount)
        return nullptr;
    return &PageTextTable[static_cast<size_t>(pageIndex)];
}

std::string SubstituteTitle(const std::string& caption, const std::string& title) {
    const size_t at = caption.find("%s");
    if (at == std::string::npos)
        return caption;
    return caption.substr(0, at) + title + caption.substr(at + 2);
}
