// kxutil's window and dialog operations for the windowed program on Linux,
// with Qt Widgets. A program that shows no window of its own has the
// application itself as its main window: the icons given to it become the
// window icon of every box it shows. The application is started only when a
// box is about to be shown, so file and journal commands need no display.
#include "embedded_resources.h"
#include "kxutil.h"
#include "kxutil_posix_detail.h"
#include "orbelle_version.h"
#include "unicode.h"

#include <QApplication>
#include <QBuffer>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace kxutil {
namespace {

using posix_detail::Fail;

constexpr WindowHandle kApplicationWindow = 1;
constexpr int kMessageIconSize = 32;
constexpr int kAboutIconSize = 48;

std::u16string g_windowIconPrefix;
// Made once and never destroyed: the program ends when its one box closes,
// and Qt must not be torn down by the C++ run-time's exit handlers.
QApplication *g_application = nullptr;
int g_qtArgc = 1;
char g_qtName[] = "Orbelle";
char *g_qtArgv[] = {g_qtName, nullptr};
// Icons handed out by kxLoadResIcon: handle n is (*g_icons)[n - 1]; they
// live as long as the application.
std::vector<QIcon> *g_icons = nullptr;
QtMessageHandler g_qtDefaultHandler = nullptr;
bool g_starting = false;

QString ToQString(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// Qt shows LF as a line break; the program's texts end their lines in CR LF.
QString DisplayText(std::u16string_view text) {
    return ToQString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// The platform plug-in QT_QPA_PLATFORM names, without its options
// ("linuxfb:fb=/dev/fb1"); empty when it names none.
std::string PlatformName() {
    const std::string platform = qgetenv("QT_QPA_PLATFORM").toStdString();
    return platform.substr(0, platform.find(':'));
}

// Why there is no display, in the words of the way it was to be reached:
// the X server or Wayland compositor named, or another platform plug-in.
std::string NoDisplayDetail(const char *why) {
    const std::string platform = PlatformName();
    if (platform.empty() || platform.rfind("xcb", 0) == 0)
        return "cannot open a display (DISPLAY=" + qgetenv("DISPLAY").toStdString() + ")";
    if (platform.rfind("wayland", 0) == 0)
        return "cannot open a display (WAYLAND_DISPLAY=" +
               qgetenv("WAYLAND_DISPLAY").toStdString() + ")";
    return "cannot open a display: the Qt platform plug-in '" + platform + "' " + why +
           " (QT_QPA_PLATFORM=" + qgetenv("QT_QPA_PLATFORM").toStdString() + ")";
}

// What the user asked for, in the words the program's other errors use: a
// platform that cannot start ends the program before the caller hears of it.
const char *g_showing = "showing a message box";

[[noreturn]] void EndWithoutADisplay(const char *why) {
    kxWriteErrorLine(kxRunTimeErrorLine(g_showing, -ENXIO, NoDisplayDetail(why)));
    _exit(1);
}

// Qt ends the process with abort() when its platform cannot start (a display
// that does not answer, a plug-in that is not there): end it instead with
// the program's own one-line error report, without the platform plugin's
// chatter before it.
void OnQtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (type == QtFatalMsg && g_starting)
        EndWithoutADisplay("cannot start");
    if (!g_starting && g_qtDefaultHandler)
        g_qtDefaultHandler(type, context, message);
}

// The platform plug-ins that start without fail but show nobody a window: a
// box there would wait for ever for a click that cannot come.
bool ShowsNothing(const std::string &platform) {
    return platform == "offscreen" || platform == "minimal" || platform == "vkkhrdisplay";
}

// Whether Qt has somewhere to show a window: a platform that needs no
// display server (linuxfb, vnc, ...), or an X11 or Wayland display named.
bool DisplayNamed() {
    const std::string platform = PlatformName();
    if (!platform.empty() && platform.rfind("xcb", 0) != 0 && platform.rfind("wayland", 0) != 0)
        return true;
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

const embedded_resources::Resource *FindIconGroup(std::string_view name) {
    for (std::size_t i = 0; i < embedded_resources::kIconsCount; ++i)
        if (name == embedded_resources::kIcons[i].name)
            return &embedded_resources::kIcons[i];
    return nullptr;
}

// Every image of an embedded .ico file, as one icon of several sizes.
QIcon IconFromGroup(const embedded_resources::Resource &group) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(group.data),
                                               static_cast<qsizetype>(group.size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QIcon icon;
    for (int i = 0; i < reader.imageCount(); ++i) {
        reader.jumpToImage(i);
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

void ApplyWindowIcon() {
    const std::string prefix = unicode::Utf16ToUtf8(g_windowIconPrefix);
    for (std::size_t i = 0; i < embedded_resources::kIconsCount; ++i) {
        const embedded_resources::Resource &group = embedded_resources::kIcons[i];
        if (std::string_view(group.name).substr(0, prefix.size()) == prefix) {
            QApplication::setWindowIcon(IconFromGroup(group));
            return;
        }
    }
}

// The application is the program's own, or one its host (a test) made.
Status StartApplication(const char *showing) {
    if (g_application)
        return kOk;
    g_showing = showing;
    g_application = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (g_application == nullptr) {
        if (!DisplayNamed())
            return Fail(ENXIO, "cannot open a display: none is named");
        if (ShowsNothing(PlatformName()))
            return Fail(ENXIO, NoDisplayDetail("shows no window to anyone"));
        g_qtDefaultHandler = qInstallMessageHandler(OnQtMessage);
        g_starting = true;
        g_application = new QApplication(g_qtArgc, g_qtArgv);
        g_starting = false;
    }
    g_icons = new std::vector<QIcon>;
    // A plug-in that starts without a screen (linuxfb without a frame
    // buffer) would end the program at the first window.
    if (QGuiApplication::primaryScreen() == nullptr)
        return Fail(ENXIO, NoDisplayDetail("has no screen"));
    if (!g_windowIconPrefix.empty())
        ApplyWindowIcon();
    return kOk;
}

Status LoadIconGroup(std::u16string_view groupName, QIcon &icon, const char *showing) {
    const std::string name = unicode::Utf16ToUtf8(groupName);
    const embedded_resources::Resource *group = FindIconGroup(name);
    if (group == nullptr)
        return Fail(ENOENT, "no icon group " + name);
    if (Status status = StartApplication(showing); status.failed())
        return status;
    icon = IconFromGroup(*group);
    if (icon.isNull())
        return Fail(EBADMSG, "icon group " + name + " holds no readable image");
    return kOk;
}

// Prose wraps at blanks, but a long unbroken value (a 64-digit processor
// mask) must not be cut off at the box's edge: a spacer as wide as the
// longest word, beside the icon, keeps the box from growing narrower.
void KeepLongestWordVisible(QMessageBox &box) {
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (grid == nullptr)
        return;
    const QFontMetrics metrics(box.font());
    int widest = 0;
    for (const QString &word : box.text().split(QRegularExpression(QStringLiteral("\\s+"))))
        widest = std::max(widest, metrics.horizontalAdvance(word));
    const int width = widest + 2 * kMessageIconSize + 4 * metrics.averageCharWidth();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

QLabel *AboutLine(const QString &text, const char *name) {
    auto *label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

} // namespace

Status kxGetThunderMainHandle(WindowHandle &handle) {
    handle = kApplicationWindow;
    return kOk;
}

Status kxSetWindowResIconAll(WindowHandle handle, std::u16string_view iconPrefix) {
    if (handle != kApplicationWindow)
        return Fail(EINVAL, "no such window");
    g_windowIconPrefix = std::u16string(iconPrefix);
    if (g_application)
        ApplyWindowIcon();
    return kOk;
}

Status kxLoadResIcon(std::u16string_view groupName, Picture &picture) {
    QIcon icon;
    // The program loads an icon for one box only: the About box.
    if (Status status = LoadIconGroup(groupName, icon, "showing the About box"); status.failed())
        return status;
    g_icons->push_back(icon);
    picture.Handle = g_icons->size();
    return kOk;
}

Status kxMsgBox(std::u16string_view text, std::u16string_view iconGroup, std::int32_t &result) {
    QIcon icon;
    if (Status status = LoadIconGroup(iconGroup, icon, "showing a message box"); status.failed())
        return status;
    QMessageBox box;
    box.setObjectName(QStringLiteral("kxMsgBox"));
    box.setWindowTitle(QStringLiteral(ORBELLE_DIALOG_TITLE));
    box.setTextFormat(Qt::PlainText);
    box.setText(DisplayText(text));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.setIconPixmap(icon.pixmap(kMessageIconSize));
    KeepLongestWordVisible(box);
    box.setStandardButtons(QMessageBox::Ok);
    result = box.exec();
    return kOk;
}

// Linux has no shell About box: this dialog takes its place, with the
// caption before "#", the first line after it, the system's own lines (the
// operating system and the toolkit), then the further text and the icon.
Status kxShellAboutA(WindowHandle, std::string_view appText, std::string_view otherText,
                     IconHandle icon) {
    std::u16string application, further, systemName;
    if (Status status = posix_detail::LocaleBytesToUtf16(appText, application); status.failed())
        return status;
    if (Status status = posix_detail::LocaleBytesToUtf16(otherText, further); status.failed())
        return status;
    if (Status status = kxGetHostOSFullName(0, -1, systemName); status.failed())
        return status;
    if (Status status = StartApplication("showing the About box"); status.failed())
        return status;
    if (icon == 0 || icon > g_icons->size())
        return Fail(EINVAL, "no such icon handle");

    const std::size_t hash = application.find(u'#');
    const std::u16string caption = application.substr(0, hash);
    const std::u16string firstLine =
        hash == std::u16string::npos ? application : application.substr(hash + 1);

    QDialog dialog;
    dialog.setObjectName(QStringLiteral("kxShellAbout"));
    dialog.setWindowTitle(ToQString(caption));
    auto *iconLabel = new QLabel;
    iconLabel->setObjectName(QStringLiteral("icon"));
    iconLabel->setPixmap((*g_icons)[icon - 1].pixmap(kAboutIconSize));
    iconLabel->setAlignment(Qt::AlignTop);
    QLabel *title = AboutLine(DisplayText(firstLine), "title");
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    auto *lines = new QVBoxLayout;
    lines->addWidget(title);
    lines->addWidget(AboutLine(ToQString(systemName), "system"));
    lines->addWidget(AboutLine(QStringLiteral("Qt ") + QString::fromLatin1(qVersion()), "toolkit"));
    lines->addSpacing(8);
    lines->addWidget(AboutLine(DisplayText(further), "further"));
    auto *row = new QHBoxLayout;
    row->addWidget(iconLabel);
    row->addSpacing(12);
    row->addLayout(lines, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addLayout(row);
    layout->addWidget(buttons);
    dialog.exec();
    return kOk;
}

void kxShowRunTimeError(std::u16string_view line) { kxWriteErrorLine(line); }

} // namespace kxutil
