#include "LogForm.h"

#include <QEvent>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "AppLog.h"
#include "FitText.h"
#include "ModalWindow.h"
#include "PlatformServices.h"
#include "brand/ButtonRow.h"

namespace {

constexpr int PanelHeight = 40;
constexpr int ButtonWidth = 75;
constexpr int ButtonHeight = 25;
constexpr int ButtonTop = 8;
constexpr int ButtonGap = 8;

QString JoinLines(const std::vector<std::string>& lines) {
    QStringList text;
    text.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines)
        text << QString::fromStdString(line);
    return text.join('\n');
}

} // namespace

TFormLog::TFormLog(std::vector<std::string>& logLines, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      FLogLines(logLines) {
    setObjectName("FormLog");
    setWindowTitle("Log");
    setSizeGripEnabled(false);
    setMinimumSize(265, 125);
    resize(483, 226);

    MemoLog = new QPlainTextEdit(this);
    MemoLog->setObjectName("MemoLog");
    MemoLog->setAccessibleName("Log");
    MemoLog->setReadOnly(true);
    MemoLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoLog->setPlainText(JoinLines(FLogLines));

    PanelBottom = new QWidget(this);
    PanelBottom->setObjectName("PanelBottom");
    PanelBottom->setFixedHeight(PanelHeight);
    auto button = [this](const char* name, const char* caption, const char* accessible) {
        auto* b = new QPushButton(caption, PanelBottom);
        b->setObjectName(name);
        b->setAccessibleName(accessible);
        b->setAutoDefault(false);
        b->setFixedSize(ButtonWidth, ButtonHeight);
        b->setProperty("fixedSize", true);
        return b;
    };
    ButtonOK = button("ButtonOK", "&OK", "OK");
    ButtonDelete = button("ButtonDelete", "&Delete Log", "Delete Log");
    ButtonSave = button("ButtonSave", "&Save Log...", "Save Log...");
    ButtonOK->setDefault(true);
    for (QPushButton* b : {ButtonOK, ButtonDelete, ButtonSave})
        FitButtonText(b);
    int left = 0;
    for (QPushButton* b : {ButtonOK, ButtonDelete, ButtonSave}) {
        b->move(left, ButtonTop);
        left += ButtonWidth + ButtonGap;
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(MemoLog, 1);
    layout->addWidget(PanelBottom);

    CreateSaveDialog();
    connect(ButtonOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ButtonDelete, &QPushButton::clicked, this, &TFormLog::ButtonDeleteClick);
    connect(ButtonSave, &QPushButton::clicked, this, &TFormLog::ButtonSaveClick);
    PanelBottom->installEventFilter(this);
    PanelBottom->resize(width(), PanelHeight);
    LayoutButtons();
}

void TFormLog::Execute(QWidget* owner, std::vector<std::string>& logLines) {
    TFormLog form(logLines, owner);
    ShowModalCentred(form, owner);
}

void TFormLog::CreateSaveDialog() {
    SaveDialog1 = new QFileDialog(this);
    SaveDialog1->setObjectName("SaveDialog1");
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1->setFileMode(QFileDialog::AnyFile);
    SaveDialog1->setDefaultSuffix("log");
    // "*" is this platform's pattern for every file; "*.*" would hide names without a dot.
    SaveDialog1->setNameFilters({"Log-Files (*.log)", "Text-Files (*.txt)", "All Files (*)"});
    // The dialog asks before overwriting, is resizable, and accepts only existing folders.
    SaveDialog1->setOption(QFileDialog::DontConfirmOverwrite, false);
    SaveDialog1->setSizeGripEnabled(true);
}

void TFormLog::LayoutButtons() {
    const int group = ButtonSave->geometry().right() + 1 - ButtonOK->x();
    const std::vector<int> lefts = CentredButtonLefts(
        PanelBottom->width(), group,
        {ButtonOK->width(), ButtonDelete->width(), ButtonSave->width()}, ButtonGap);
    ButtonOK->move(lefts[0], ButtonOK->y());
    ButtonDelete->move(lefts[1], ButtonDelete->y());
    ButtonSave->move(lefts[2], ButtonSave->y());
}

bool TFormLog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == PanelBottom && event->type() == QEvent::Resize)
        LayoutButtons();
    return QDialog::eventFilter(watched, event);
}

void TFormLog::keyPressEvent(QKeyEvent* event) {
    // OK is the cancel button as well: Escape closes the window with OK.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ButtonOK->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TFormLog::ButtonDeleteClick() {
    if (ShowMessageDialog("Really delete log file?", "Delete log?", TMsgDlgType::mtConfirmation,
                          mbYes | mbNo | mbCancel) != TMessageResult::mrYes)
        return;
    FLogLines.clear();
    MemoLog->clear();
    ButtonSave->setEnabled(false);
}

void TFormLog::ButtonSaveClick() {
    if (SaveDialog1->exec() != QDialog::Accepted)
        return;
    const QStringList chosen = SaveDialog1->selectedFiles();
    if (!chosen.isEmpty())
        SaveLogTo(chosen.front().toStdString());
}

bool TFormLog::SaveLogTo(const std::string& fileName) {
    std::string error;
    if (SaveLogLines(fileName, FLogLines, error))
        return true;
    ShowMessage(error, TMessageKind::mkError);
    return false;
}
