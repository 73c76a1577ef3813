// Texts that must fit into the fixed sizes of the small windows, whatever the desktop's font.
#pragma once

#include <QStringList>

class QLabel;
class QPushButton;

// Shrinks the label's font, half a point at a time and no smaller than 6 points, until each
// line of its text fits into its width.
void FitLabelText(QLabel* label);

// Shrinks the button's font the same way until its caption fits between its margins.
void FitButtonText(QPushButton* button);
