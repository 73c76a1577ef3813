#include <gtest/gtest.h>

#include <QTest>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <string>

#include "AboutForm.h"
#include "GuiTestEnv.h"
#include "brand/AboutTexts.h"
#include "brand/StartUp.h"

using namespace guitest;

namespace {

class AboutWindow : public TGuiTest {
protected:
    ~AboutWindow() override { TFormAbout::YearOverride = 0; }

    static void Click(QWidget* widget) {
        const QPointF at(2, 2);
        QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &press);
        QCoreApplication::sendEvent(widget, &release);
    }

    static std::string Text(const QLabel* label) { return label->text().toStdString(); }
};

TEST_F(AboutWindow, ShowsTheBrandWithItsVersionCompanyAndLinks) {
    apptest::WriteFile(
        Program + "lame.dll",
        "[SYSTEM]\nName=Kestrin Audio Converter\nVersion=2.1\nCompany=Kestrin Ltd\n");
    SetApplicationTitle("Kestrin Audio Converter");
    ApplyBrand(Vars, "Kestrin Audio Converter", Program);
    TFormAbout::YearOverride = 2031;
    TFormAbout form(Program);

    EXPECT_EQ(form.windowTitle(), "About Kestrin Audio Converter");
    EXPECT_EQ(form.size(), QSize(441, 344));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_EQ(Text(form.labAppName), "Kestrin Audio Converter 2.1");
    EXPECT_EQ(Text(form.labCompany), "Copyright \u00a9 2009-2031 Kestrin Ltd");
    EXPECT_TRUE(form.labCompany->wordWrap());
    EXPECT_EQ(Text(form.labHomePage), Vars.HomePageLink);
    EXPECT_EQ(Text(form.labSupportMail), Vars.SupportMail);
    EXPECT_EQ(Text(form.labLegalNotice), LegalNotice);
    EXPECT_TRUE(form.labLegalNotice->wordWrap());
    for (const QLabel* link : {form.labHomePage, form.labSupportMail}) {
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        // A Tab stop, named by its text (not by its object name).
        EXPECT_EQ(link->focusPolicy(), Qt::StrongFocus);
        EXPECT_TRUE(link->accessibleName().isEmpty() || link->accessibleName() == link->text());
    }
    EXPECT_EQ(form.ImagePicture->size(), QSize(125, 278));
    ASSERT_FALSE(form.ImagePicture->pixmap().isNull());
    EXPECT_EQ(form.ImagePicture->pixmap().size(), QSize(125, 278));
    EXPECT_EQ(form.btnOK->text(), "OK");
    EXPECT_TRUE(form.btnOK->isDefault());

    form.show();
    QCoreApplication::processEvents();
    Click(form.labHomePage);
    Click(form.labSupportMail);
    Click(form.labAppName);
    EXPECT_EQ(Services.Opened,
              (std::vector<std::string>{Vars.HomePageLink, "mailto:" + Vars.SupportMail}));
    // Enter and Space open a link that has the focus.
    QTest::keyClick(form.labHomePage, Qt::Key_Return);
    QTest::keyClick(form.labSupportMail, Qt::Key_Space);
    EXPECT_EQ(Services.Opened,
              (std::vector<std::string>{Vars.HomePageLink, "mailto:" + Vars.SupportMail,
                                        Vars.HomePageLink, "mailto:" + Vars.SupportMail}));
    form.btnOK->click();
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(AboutWindow, AnUnknownBrandShowsTheTitleAloneAndOpensNothing) {
    Brand("Some Converter");
    ApplyBrand(Vars, "Some Converter", Program);
    TFormAbout form(Program);
    EXPECT_EQ(form.windowTitle(), "About Some Converter");
    EXPECT_EQ(Text(form.labAppName), "Some Converter ");
    EXPECT_EQ(Text(form.labCompany),
              "Copyright \u00a9 2009-" + std::to_string(CurrentYear()) + " ");
    EXPECT_EQ(Text(form.labHomePage), "");
    EXPECT_EQ(Text(form.labSupportMail), "");
    form.show();
    QCoreApplication::processEvents();
    Click(form.labHomePage);
    Click(form.labSupportMail);
    EXPECT_EQ(Services.Opened, (std::vector<std::string>{"", ""}));
}

TEST_F(AboutWindow, OpensCentredOverItsOwner) {
    QWidget owner;
    owner.setGeometry(40, 30, 698, 572);
    owner.show();
    QRect shown;
    QTimer::singleShot(0, [&shown] {
        auto* form = qobject_cast<TFormAbout*>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        shown = form->frameGeometry();
        form->btnOK->click();
    });
    TFormAbout::Execute(&owner, Program);
    EXPECT_EQ(shown.x(), 40 + (698 - shown.width()) / 2);
    EXPECT_EQ(shown.y(), 30 + (572 - shown.height()) / 2);
}

} // namespace
