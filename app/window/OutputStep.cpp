// Step 2 of the wizard: the output folder, the formats and their preset lists.
#include "Main.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "WindowWidgets.h"

#include "OutputFormats.h"

QWidget* TFormMain::CreateStep2() {
    auto* page = new QWidget;
    page->setObjectName("TabSheetStep2");
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(12);

    auto* folderGroup = new QGroupBox("Output Folder", page);
    auto* folderRow = new QHBoxLayout(folderGroup);
    EditOutputDir = new QLineEdit(folderGroup);
    EditOutputDir->setObjectName("EditOutputDir");
    ButtonSelectDir = new QPushButton("Browse...", folderGroup);
    ButtonSelectDir->setObjectName("ButtonSelectDir");
    ButtonSelectDir->setAutoDefault(false);
    folderRow->addWidget(EditOutputDir, 1);
    folderRow->addWidget(ButtonSelectDir);
    layout->addWidget(folderGroup);

    auto* formatGroup = new QGroupBox("Output Format", page);
    auto* formatLayout = new QVBoxLayout(formatGroup);
    auto* formatRow = new QHBoxLayout;
    formatRow->setSpacing(2);
    PresetStack = new QStackedWidget(formatGroup);
    PresetStack->setObjectName("PresetStack");
    for (const TOutputFormatInfo& format : OutputFormats()) {
        auto* b = new QPushButton(format.Name, formatGroup);
        b->setObjectName(QString("ButtonFormat") + format.Name);
        b->setCheckable(true);
        b->setAutoExclusive(true);
        b->setAutoDefault(false);
        b->setProperty("formatButton", true);
        b->setFixedSize(62, 57);
        FormatButtons.push_back(b);
        formatRow->addWidget(b);
        auto* list = new QComboBox(PresetStack);
        list->setObjectName(format.PresetListName);
        list->setEditable(false);
        list->setMinimumHeight(36);
        PresetLists.push_back(list);
        PresetStack->addWidget(list);
    }
    formatRow->addStretch(1);
    formatLayout->addLayout(formatRow);
    auto* presetLabel = new QLabel("Preset:", formatGroup);
    formatLayout->addSpacing(8);
    formatLayout->addWidget(presetLabel);
    formatLayout->addWidget(PresetStack);
    layout->addWidget(formatGroup);
    layout->addStretch(1);
    return page;
}

void TFormMain::FillPresetLists() {
    for (const TOutputFormatIndex format : PresetListFillOrder) {
        QComboBox* list = PresetLists[format];
        list->clear();
        for (const TPresetSettings& preset : OutputFormats()[format].Presets)
            list->addItem(preset.Caption);
    }
}
