// The texts and button states of the four wizard pages, and the captions of the main window
// that carry the application title.
#pragma once

#include <array>
#include <string>

// What one wizard page shows: the instruction above the pages and the captions and enabled
// states of the Back, Next and Exit actions.
struct TPageTexts {
    const char* Title; // `LabelTitle`
    bool BackEnabled;  // `ActionBack`
    const char* NextCaption;
    bool NextEnabled;        // `ActionNext`
    const char* ExitCaption; // `ActionExit`, which is always enabled
};

inline constexpr int PageCount = 4;

// One row per page index (step 1 is index 0).
extern const std::array<TPageTexts, PageCount> PageTextTable;

// The row of `pageIndex`, or null outside 0 to 3.
const TPageTexts* PageTextsOf(int pageIndex);

// `ActionBack` keeps its caption on every page.
inline constexpr const char* BackCaption = "Back";

// The captions of the summary page's title labels before the title is put in.
inline constexpr const char* FinishTitle1Caption = "%s has finished the conversion.";
inline constexpr const char* FinishTitle2Caption =
    "To convert other files, click \"Finish\". Click \"Exit\" to quit %s.";

// `caption` with its first "%s" replaced by `title`; the title is put in as it stands, so a
// "%" inside it stays text.
std::string SubstituteTitle(const std::string& caption, const std::string& title);
