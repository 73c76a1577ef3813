// Step 2 of the wizard: the output folder, the formats and their preset lists, and how many
// conversions run side by side.
#include "Main.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>

#include "WindowWidgets.h"

#include "jobs/OutputFormats.h"
#include "settings/globals.h"

namespace {

// The page's geometry: a label above each control, the format buttons in one row.
constexpr int PageLeft = 18;
constexpr int FormatButtonWidth = 62;
constexpr int FormatButtonHeight = 57;
constexpr int FormatButtonPitch = 64; // left edges 18, 82, 146, ...
constexpr QRect OutputDirLabel(PageLeft, 12, 300, 20);
constexpr QRect OutputDirEdit(PageLeft, 34, 428, 26);
constexpr QRect SelectDirButton(452, 33, 79, 28);
constexpr QRect ConvertToLabel(PageLeft, 78, 300, 20);
constexpr int FormatButtonsTop = 100;
constexpr QRect PresetsLabel(PageLeft, 201, 300, 20);
constexpr QRect PresetListPlace(PageLeft, 225, 513, 36);
constexpr QRect SimultaneousLabel(PageLeft, 282, 200, 24);
constexpr QRect SimultaneousSpin(220, 281, 64, 26);

QLabel* Caption(const char* name, const char* text, const QRect& place, QWidget* page) {
    QLabel* label = ValueLabel(name, text, page);
    label->setGeometry(place);
    return label;
}

} // namespace

QWidget* TFormMain::CreateStep2() {
    auto* page = new QWidget;
    page->setObjectName("TabSheetStep2");

    QLabel* outputDir = Caption("LabelOutputDir", "Output directory:", OutputDirLabel, page);
    EditOutputDir = new QLineEdit(page);
    EditOutputDir->setObjectName("EditOutputDir");
    EditOutputDir->setAccessibleName("Output directory");
    EditOutputDir->setReadOnly(true);
    EditOutputDir->setGeometry(OutputDirEdit);
    ButtonSelectDir = new QPushButton("Select...", page);
    ButtonSelectDir->setObjectName("ButtonSelectDir");
    ButtonSelectDir->setAccessibleName("Select...");
    ButtonSelectDir->setAutoDefault(false);
    ButtonSelectDir->setGeometry(SelectDirButton);

    QLabel* convertTo = Caption("LabelConvertTo", "Convert to:", ConvertToLabel, page);
    PresetStack = new QStackedWidget(page);
    PresetStack->setObjectName("PresetStack");
    PresetStack->setGeometry(PresetListPlace);
    int left = PageLeft;
    for (const TOutputFormatInfo& format : OutputFormats()) {
        auto* b = new QPushButton(format.Name, page);
        b->setObjectName(QString("ButtonFormat") + format.Name);
        b->setAccessibleName(format.Name);
        b->setCheckable(true);
        b->setAutoExclusive(true);
        b->setAutoDefault(false);
        b->setProperty("formatButton", true);
        b->setGeometry(left, FormatButtonsTop, FormatButtonWidth, FormatButtonHeight);
        left += FormatButtonPitch;
        FormatButtons.push_back(b);
        auto* list = new QComboBox(PresetStack);
        list->setObjectName(format.PresetListName);
        list->setAccessibleName(QString(format.Name) + " presets");
        list->setEditable(false);
        PresetLists.push_back(list);
        PresetStack->addWidget(list);
    }
    QLabel* presets = Caption("LabelPresets", "Presets:", PresetsLabel, page);

    QLabel* simultaneous = Caption("LabelSimultaneousConversions",
                                   "Simultaneous conversions:", SimultaneousLabel, page);
    SpinSimultaneousConversions = new QSpinBox(page);
    SpinSimultaneousConversions->setObjectName("SpinSimultaneousConversions");
    SpinSimultaneousConversions->setAccessibleName("Simultaneous conversions");
    SpinSimultaneousConversions->setRange(1, SimultaneousConversionsLimit());
    SpinSimultaneousConversions->setValue(SimultaneousConversionsLimit());
    SpinSimultaneousConversions->setGeometry(SimultaneousSpin);

    // Each caption names its control; the presets' caption names every list.
    LinkCaption(outputDir, EditOutputDir);
    for (QPushButton* b : FormatButtons)
        LinkCaption(convertTo, b);
    convertTo->setBuddy(FormatButtons.front());
    for (QComboBox* list : PresetLists)
        LinkCaption(presets, list);
    presets->setBuddy(PresetStack);
    LinkCaption(simultaneous, SpinSimultaneousConversions);
    // Tab goes as the page reads: folder, its picker, the formats, the presets, the count.
    QWidget* order[] = {EditOutputDir, ButtonSelectDir};
    QWidget::setTabOrder(order[0], order[1]);
    QWidget* previous = ButtonSelectDir;
    for (QPushButton* b : FormatButtons) {
        QWidget::setTabOrder(previous, b);
        previous = b;
    }
    for (QComboBox* list : PresetLists) {
        QWidget::setTabOrder(previous, list);
        previous = list;
    }
    QWidget::setTabOrder(previous, SpinSimultaneousConversions);
    ConnectOutputStep();
    return page;
}

void TFormMain::ConnectOutputStep() {
    // A format is chosen when its button becomes checked, by a click, a key or a screen
    // reader's toggle action (which checks the button without clicking it).
    for (int i = 0; i < static_cast<int>(FormatButtons.size()); ++i)
        connect(FormatButtons[i], &QPushButton::toggled, this, [this, i](bool checked) {
            if (checked)
                SelectFormat(i);
        });
    connect(ButtonSelectDir, &QPushButton::clicked, this, [this] { ButtonSelectDirClick(); });
}

void TFormMain::FillPresetLists() {
    for (const TOutputFormatIndex format : PresetListFillOrder) {
        QComboBox* list = PresetLists[format];
        list->clear();
        for (const TPresetSettings& preset : OutputFormats()[format].Presets)
            list->addItem(preset.Caption);
    }
}

void TFormMain::SelectFormat(int index) {
    if (index < 0 || index >= static_cast<int>(FormatButtons.size()))
        return;
    // The chosen button is disabled: a keyboard user who chose it goes on to its presets
    // instead of to wherever the toolkit would send the focus.
    const bool hadFocus = FormatButtons[index]->hasFocus();
    for (int i = 0; i < static_cast<int>(FormatButtons.size()); ++i)
        FormatButtons[i]->setEnabled(i != index);
    FormatButtons[index]->setChecked(true);
    PresetStack->setCurrentIndex(index);
    if (hadFocus)
        PresetLists[index]->setFocus(Qt::TabFocusReason);
    GlobalVars->OutputFormat = static_cast<uint8_t>(index);
}

void TFormMain::ShowOutputStep() {
    const TGlobalVars& vars = *GlobalVars;
    EditOutputDir->setText(Q(vars.OutputFileDir));
    if (vars.OutputFormat < OutputFormatCount) {
        SelectFormat(vars.OutputFormat);
    } else {
        // No format is chosen: every button can be pressed.
        for (QPushButton* b : FormatButtons)
            b->setEnabled(true);
    }
    for (int i = 0; i < OutputFormatCount; ++i) {
        const int preset = vars.PresetIndex[i];
        PresetLists[i]->setCurrentIndex(preset >= 0 && preset < PresetLists[i]->count() ? preset
                                                                                        : -1);
    }
    SpinSimultaneousConversions->setValue(
        ClampSimultaneousConversions(vars.SimultaneousConversions));
}

void TFormMain::StoreOutputStep() {
    TGlobalVars& vars = *GlobalVars;
    vars.OutputFileDir = EnsureTrailingSeparator(EditOutputDir->text().toStdString());
    for (int i = 0; i < OutputFormatCount; ++i)
        vars.PresetIndex[i] = PresetLists[i]->currentIndex();
    vars.SimultaneousConversions = SpinSimultaneousConversions->value();
}

void TFormMain::ButtonSelectDirClick() {
    TGlobalVars& vars = *GlobalVars;
    std::string path = vars.OutputFileDir;
    if (!PickFolder(path, "Please select a folder"))
        return;
    EditOutputDir->setText(Q(EnsureTrailingSeparator(path)));
    vars.OutputFileDir = EditOutputDir->text().toStdString();
}
