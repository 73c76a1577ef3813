// Showing a small window the way the application shows all of them: centred over the main
// window, modal.
#pragma once

class QDialog;
class QWidget;

// Moves `dialog` to the middle of `owner` (divisions truncating toward zero); nothing when
// `owner` is null.
void CentreOver(QDialog& dialog, const QWidget* owner);

// Centres `dialog` over `owner`, shows it modally and returns its result.
int ShowModalCentred(QDialog& dialog, const QWidget* owner);
