#include "ButtonRow.h"

std::vector<int> CentredButtonLefts(int panelWidth, int groupWidth, const std::vector<int>& widths,
                                    int gap) {
    std::vector<int> lefts;
    lefts.reserve(widths.size());
    int left = panelWidth / 2 - groupWidth / 2;
    for (const int width : widths) {
        lefts.push_back(left);
        left += width + gap;
    }
    return lefts;
}
