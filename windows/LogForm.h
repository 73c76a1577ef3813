// The Log window `TFormLog`: the application log as it stands when the window opens, with
// commands to empty it and to save it to a file of the user's choice.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QFileDialog;
class QPlainTextEdit;
class QPushButton;

class TFormLog : public QDialog {
    Q_OBJECT
public:
    // Shows `logLines` (the application log, which Delete empties and Save writes).
    explicit TFormLog(std::vector<std::string>& logLines, QWidget* parent = nullptr);

    // Creates the window over `owner`, centred, shows it modally and destroys it.
    static void Execute(QWidget* owner, std::vector<std::string>& logLines);

    QPlainTextEdit* MemoLog = nullptr;
    QWidget* PanelBottom = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonDelete = nullptr;
    QPushButton* ButtonSave = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

    // Asks whether to delete; only Yes empties the log and the text box and disables Save
    // for as long as this window is open. The old log file is not touched.
    void ButtonDeleteClick();
    // Asks for a file in the save dialog and writes the log into it.
    void ButtonSaveClick();
    // Writes the whole log into `fileName`; a failure is shown in the error box and
    // changes nothing. True when it was written.
    bool SaveLogTo(const std::string& fileName);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateSaveDialog();
    // Keeps the three buttons centred as a group in the bottom panel.
    void LayoutButtons();

    std::vector<std::string>& FLogLines;
};
