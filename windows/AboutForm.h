// The About window `TFormAbout`: the application's name and version, the company, the
// brand's home page and support address as links, a legal notice and a picture.
#pragma once

#include <QDialog>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

class TFormAbout : public QDialog {
    Q_OBJECT
public:
    // Reads the version and company from the brand file in `programFolder` (which ends with
    // a separator); the title is the application title, the links are the brand's.
    explicit TFormAbout(const std::string& programFolder, QWidget* parent = nullptr);

    // Creates the window centred over `owner`, shows it modally and destroys it.
    static void Execute(QWidget* owner, const std::string& programFolder);

    // The year that ends the company line's range; tests set it, 0 takes the clock's.
    static int YearOverride;

    QFrame* PanelPicture = nullptr;
    QLabel* ImagePicture = nullptr;
    QLabel* labAppName = nullptr;
    QLabel* labCompany = nullptr;
    QLabel* labHomePage = nullptr;
    QLabel* labSupportMail = nullptr;
    QLabel* labLegalNotice = nullptr;
    QPushButton* btnOK = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormCreate(const std::string& programFolder);
    QLabel* NewLink(const char* name);
};

// Makes the window's compiled-in picture available.
void InitSmallWindowResources();
