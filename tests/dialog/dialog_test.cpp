// The dialog front-end's boxes, opened on Qt's offscreen platform and
// inspected while they are open.
#include "FrontEnd.h"
#include "kxutil.h"
#include "modMain.h"

#include <QApplication>
#include <QBuffer>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>

namespace {

// Shows a box with `show`, hands the open box to `inspect`, then closes it
// with the Return key as a user would.
void WithOpenBox(const std::function<void()> &show, const std::function<void(QWidget *)> &inspect) {
    QWidget *seen = nullptr;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (box == nullptr || seen != nullptr)
            return;
        seen = box;
        inspect(box);
        QApplication::postEvent(box,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [&] {
        ADD_FAILURE() << "the box did not open, or Return did not close it";
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    poll.start();
    deadline.start(5000);
    show();
    EXPECT_NE(seen, nullptr);
}

QImage GroupImage(const char *group, int size) {
    std::ifstream file(std::string(ORBELLE_SOURCE_DIR) + "/resources/" + group + ".ico",
                       std::ios::binary);
    QByteArray bytes =
        QByteArray::fromStdString(std::string(std::istreambuf_iterator<char>(file), {}));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    for (int i = 0; i < reader.imageCount(); ++i) {
        reader.jumpToImage(i);
        const QImage image = reader.read();
        if (image.width() == size)
            return image.convertToFormat(QImage::Format_ARGB32);
    }
    return {};
}

QString LabelText(QWidget *box, const char *name) {
    auto *label = box->findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<no label>");
}

QImage MessageIcon(QWidget *box) {
    return static_cast<QMessageBox *>(box)->iconPixmap().toImage().convertToFormat(
        QImage::Format_ARGB32);
}

std::u16string BaseName() {
    std::u16string name;
    kxutil::kxGetModuleBaseName(name);
    return name;
}

} // namespace

TEST(AboutBox, ShowsTheTitleSystemVersionAndCopyrightWithTheAboutIcon) {
    WithOpenBox(FrontEnd::ShowAbout, [](QWidget *box) {
        EXPECT_EQ(box->windowTitle(), QStringLiteral("О программе"));
        EXPECT_EQ(LabelText(box, "title"), QStringLiteral("Brenvik - Pavik system info"));
        std::u16string systemName;
        kxutil::kxGetHostOSFullName(0, -1, systemName);
        EXPECT_EQ(LabelText(box, "system").toStdU16String(), systemName);
        EXPECT_EQ(LabelText(box, "toolkit"),
                  QStringLiteral("Qt ") + QString::fromLatin1(qVersion()));
        EXPECT_EQ(LabelText(box, "further"),
                  QStringLiteral("\tВерсия: 1.04.0112\n\tCopyright (C) 2026 Brenvik - Pavik"));
        auto *icon = box->findChild<QLabel *>(QStringLiteral("icon"));
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(icon->pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
                  GroupImage("A_MAIN_0000", 48));
    });
}

TEST(MessageBoxes, UsageHasBothNamesFilledInAndTheUsageIcon) {
    modMain::LoadTextBlocks();
    WithOpenBox([] { FrontEnd::ShowUsage(modMain::TextBlocks().usageNew); },
                [](QWidget *box) {
                    EXPECT_EQ(box->windowTitle(), QStringLiteral("Brenvik - Pavik system info"));
                    const std::u16string text =
                        static_cast<QMessageBox *>(box)->text().toStdU16String();
                    EXPECT_EQ(text.find(BaseName() + u"[.EXE] [[/I | /I:A"), 0u);
                    EXPECT_NE(text.find(u"\"" + BaseName() + u".TXT\""), std::u16string::npos);
                    EXPECT_EQ(text.find(u"%00"), std::u16string::npos);
                    EXPECT_EQ(text.find(u'\r'), std::u16string::npos);
                    EXPECT_EQ(MessageIcon(box), GroupImage("A_MAIN_0002", 32));
                });
}

TEST(MessageBoxes, AReportKeepsItsLongestValueVisible) {
    const QString mask(64, QLatin1Char('1'));
    WithOpenBox(
        [&] { FrontEnd::ShowReport(u"Active processor mask: \r\n   " + mask.toStdU16String()); },
        [&](QWidget *box) {
            EXPECT_EQ(static_cast<QMessageBox *>(box)->text(),
                      "Active processor mask: \n   " + mask);
            EXPECT_EQ(MessageIcon(box), GroupImage("A_MAIN_0001", 32));
            auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            ASSERT_NE(label, nullptr);
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(mask));
        });
}

TEST(MessageBoxes, AnEmptyReportIsAnEmptyBoxWithTheReportIcon) {
    WithOpenBox([] { FrontEnd::ShowReport(u""); },
                [](QWidget *box) {
                    EXPECT_EQ(static_cast<QMessageBox *>(box)->text(), QString());
                    EXPECT_EQ(MessageIcon(box), GroupImage("A_MAIN_0001", 32));
                });
}

TEST(WindowIcon, TheApplicationCarriesTheMainIcons) {
    kxutil::WindowHandle main = 0;
    ASSERT_GE(kxutil::kxGetThunderMainHandle(main).value, 0);
    ASSERT_GE(kxutil::kxSetWindowResIconAll(main, u"A_MAIN").value, 0);
    WithOpenBox([] { FrontEnd::ShowReport(u"x"); },
                [](QWidget *) {
                    const QIcon icon = QApplication::windowIcon();
                    EXPECT_FALSE(icon.isNull());
                    EXPECT_EQ(icon.pixmap(48).toImage().convertToFormat(QImage::Format_ARGB32),
                              GroupImage("A_MAIN_0000", 48));
                });
}

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    kxutil::kxInitProcess(argc, argv);
    // The program shows no box on offscreen: the tests' own application, which
    // their timers need, is the one the program then takes.
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
