#include "AddFailed.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "PlatformServices.h"
#include "settings/globals.h"

namespace {

constexpr int ClientWidth = 425;
constexpr int ClientHeight = 290;
constexpr int FileColumnWidth = 380;

constexpr const char* FailedText =
    "Failed to add the following files. The converter might not support the file type or "
    "might not support the codec that was used to compress the file. Click \"More "
    "Information\" to view a list of supported file types and releavant codecs.";

} // namespace

TFormFailedAddFile::TFormFailedAddFile(QWidget* owner) : QDialog(owner) {
    setObjectName("FormFailedAddFile");
    setWindowTitle("Failed to Add Files");
    setFixedSize(ClientWidth, ClientHeight);
    setSizeGripEnabled(false);

    ImageIcon = new QLabel(this);
    ImageIcon->setObjectName("ImageIcon");
    ImageIcon->setFixedSize(48, 48);
    ImageIcon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(48, 48));

    LabelText = new QLabel(FailedText, this);
    LabelText->setObjectName("LabelText");
    LabelText->setTextFormat(Qt::PlainText);
    LabelText->setWordWrap(true);

    ListViewFiles = new QTreeWidget(this);
    ListViewFiles->setObjectName("ListViewFiles");
    ListViewFiles->setAccessibleName("Failed files");
    ListViewFiles->setColumnCount(1);
    ListViewFiles->setHeaderLabels({"File"});
    ListViewFiles->header()->setStretchLastSection(false);
    ListViewFiles->setColumnWidth(0, FileColumnWidth);
    ListViewFiles->setRootIsDecorated(false);
    ListViewFiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewFiles->setEditTriggers(QAbstractItemView::NoEditTriggers);

    ButtonClose = new QPushButton("Close", this);
    ButtonClose->setObjectName("ButtonClose");
    ButtonClose->setAccessibleName("Close");
    ButtonClose->setDefault(true);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::accept);
    ButtonMoreInfo = new QPushButton("More Information...", this);
    ButtonMoreInfo->setObjectName("ButtonMoreInfo");
    ButtonMoreInfo->setAccessibleName("More Information");
    ButtonMoreInfo->setAutoDefault(false);
    connect(ButtonMoreInfo, &QPushButton::clicked, this,
            [] { OpenWithShell(GlobalVars ? GlobalVars->HelpLink : std::string()); });

    auto* top = new QHBoxLayout;
    top->addWidget(ImageIcon, 0, Qt::AlignTop);
    top->addWidget(LabelText, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(ButtonMoreInfo);
    bottom->addWidget(ButtonClose);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(ListViewFiles, 1);
    layout->addLayout(bottom);
}

void TFormFailedAddFile::AddFile(const std::string& text) {
    auto* item = new QTreeWidgetItem(ListViewFiles);
    item->setText(0, QString::fromStdString(text));
    item->setToolTip(0, item->text(0));
}

QPoint CentredOver(const QWidget* owner, const QSize& size) {
    const QRect area = owner ? owner->frameGeometry() : QRect();
    return {area.left() + (area.width() - size.width()) / 2,
            area.top() + (area.height() - size.height()) / 2};
}

void TFormFailedAddFile::ShowFailedFiles(QWidget* owner,
                                         const std::vector<std::string>& failedFiles) {
    TFormFailedAddFile window(owner);
    window.move(CentredOver(owner, window.size()));
    for (const std::string& text : failedFiles)
        window.AddFile(text);
    window.exec();
}
