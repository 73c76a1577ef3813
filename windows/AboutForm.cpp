#include "AboutForm.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "ModalWindow.h"
#include "PlatformServices.h"
#include "brand/AboutTexts.h"
#include "brand/Brands.h"
#include "brand/HelpLinks.h"
#include "brand/StartUp.h"
#include "settings/globals.h"

int TFormAbout::YearOverride = 0;

// Q_INIT_RESOURCE may not stand inside a namespace.
static void InitAboutResourcesOnce() {
    Q_INIT_RESOURCE(smallwindows);
}

void InitSmallWindowResources() {
    static const bool done = (InitAboutResourcesOnce(), true);
    (void)done;
}

namespace {

constexpr int PictureWidth = 125;
constexpr int PictureHeight = 278;

QFrame* NewRule(QWidget* parent, const char* name) {
    auto* rule = new QFrame(parent);
    rule->setObjectName(name);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    // The accessibility tools list a line as a frame: it says what it is.
    rule->setAccessibleName("Separator");
    return rule;
}

QLabel* NewText(QWidget* parent, const char* name, bool wrap) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wrap);
    return label;
}

} // namespace

TFormAbout::TFormAbout(const std::string& programFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName("FormAbout");
    setFixedSize(441, 344);
    InitSmallWindowResources();
    CreateControls();
    FormCreate(programFolder);
}

void TFormAbout::Execute(QWidget* owner, const std::string& programFolder) {
    TFormAbout form(programFolder, owner);
    ShowModalCentred(form, owner);
}

QLabel* TFormAbout::NewLink(const char* name) {
    QLabel* link = NewText(this, name, false);
    // Named by its text to the accessibility tools; a Tab stop, opened by Enter or Space.
    link->setFocusPolicy(Qt::StrongFocus);
    link->setCursor(Qt::PointingHandCursor);
    QFont font = link->font();
    font.setUnderline(true);
    link->setFont(font);
    QPalette palette = link->palette();
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x4e, 0xc2));
    link->setPalette(palette);
    link->installEventFilter(this);
    return link;
}

void TFormAbout::CreateControls() {
    PanelPicture = new QFrame(this);
    PanelPicture->setObjectName("PanelPicture");
    PanelPicture->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelPicture->setAccessibleName("Picture");
    PanelPicture->setLineWidth(1);
    ImagePicture = new QLabel(PanelPicture);
    ImagePicture->setObjectName("ImagePicture");
    ImagePicture->setFixedSize(PictureWidth, PictureHeight);
    ImagePicture->setPixmap(QPixmap(":/images/about.png"));
    auto* inPanel = new QVBoxLayout(PanelPicture);
    inPanel->setContentsMargins(1, 1, 1, 1);
    inPanel->addWidget(ImagePicture);
    PanelPicture->setFixedSize(PanelPicture->sizeHint());

    labAppName = NewText(this, "labAppName", true);
    QFont nameFont = labAppName->font();
    nameFont.setBold(true);
    nameFont.setPointSizeF(nameFont.pointSizeF() * 1.25);
    labAppName->setFont(nameFont);
    labCompany = NewText(this, "labCompany", true);
    labHomePage = NewLink("labHomePage");
    labSupportMail = NewLink("labSupportMail");
    labLegalNotice = NewText(this, "labLegalNotice", true);
    labLegalNotice->setText(LegalNotice);
    labLegalNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* right = new QVBoxLayout;
    right->setSpacing(6);
    right->addWidget(labAppName);
    right->addWidget(labCompany);
    right->addSpacing(4);
    right->addWidget(NewRule(this, "Rule1"));
    right->addSpacing(-4);
    right->addWidget(NewRule(this, "Rule2"));
    right->addSpacing(4);
    right->addWidget(labHomePage);
    right->addWidget(labSupportMail);
    right->addSpacing(8);
    right->addWidget(labLegalNotice, 1);

    auto* upper = new QHBoxLayout;
    upper->setSpacing(14);
    upper->addWidget(PanelPicture, 0, Qt::AlignTop);
    upper->addLayout(right, 1);

    btnOK = new QPushButton("OK", this);
    btnOK->setObjectName("btnOK");
    btnOK->setAccessibleName("OK");
    btnOK->setFixedSize(75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(8);
    layout->addLayout(upper, 1);
    layout->addWidget(NewRule(this, "RuleBottom"));
    layout->addLayout(buttons);
}

void TFormAbout::FormCreate(const std::string& programFolder) {
    const TBrandFile brand = ReadBrandFile(programFolder);
    const TAboutTexts texts = MakeAboutTexts(
        ApplicationTitle(), brand, YearOverride ? YearOverride : CurrentYear(),
        GlobalVars ? GlobalVars->HomePageLink : "", GlobalVars ? GlobalVars->SupportMail : "");
    setWindowTitle(QString::fromStdString(texts.Caption));
    labAppName->setText(QString::fromStdString(texts.AppName));
    labCompany->setText(QString::fromStdString(texts.Company));
    labHomePage->setText(QString::fromStdString(texts.HomePage));
    labSupportMail->setText(QString::fromStdString(texts.SupportMail));
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* event) {
    const auto activated = [event] {
        if (event->type() == QEvent::MouseButtonRelease)
            return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    };
    if (activated()) {
        if (watched == labHomePage) {
            OpenWithShell(labHomePage->text().toStdString());
            return true;
        }
        if (watched == labSupportMail) {
            OpenWithShell(SupportMailTarget(labSupportMail->text().toStdString()));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
