// The failed-files window `TFormFailedAddFile`: the sources the prober could not open while
// they were being added to the source list, one row each.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

class TFormFailedAddFile : public QDialog {
    Q_OBJECT
public:
    explicit TFormFailedAddFile(QWidget* owner);

    // One row of the list.
    void AddFile(const std::string& text);

    // Creates the window, centres it over `owner`, lists `failedFiles` in order, shows it
    // modally and destroys it when it closes. The entry of the secondary-window table.
    static void ShowFailedFiles(QWidget* owner, const std::vector<std::string>& failedFiles);

    QLabel* ImageIcon = nullptr;
    QLabel* LabelText = nullptr;
    QTreeWidget* ListViewFiles = nullptr;
    QPushButton* ButtonClose = nullptr;
    QPushButton* ButtonMoreInfo = nullptr;
};

// The window's top-left corner centred over `owner` (divisions truncating toward zero).
QPoint CentredOver(const QWidget* owner, const QSize& size);
