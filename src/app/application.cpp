#include "app/application.h"

#include <QApplication>

#include <memory>

#include "lyrics/lyrics_window.h"
#include "main_window/icons.h"
#include "main_window/main_window.h"
#include "main_window/status_bar.h"
#include "platform/error_box.h"
#include "platform/message_box.h"
#include "platform/system.h"
#include "search/search_dialog.h"

namespace app {
namespace {

const QString kApplicationTitle = QStringLiteral(u"Tamsir实用软件_VorelaMP3播放器");

}  // namespace

int run(int argc, char** argv) {
    QApplication application(argc, argv);

    // One instance per user: the marker lives as long as this process and the system drops it
    // when the process ends or is killed. Both refusals end before any window exists.
    platform::InstanceLock onlyOne("OnlyOne");
    if (onlyOne.result() == platform::InstanceLock::Result::Failed) {
        platform::messageBox(nullptr, QStringLiteral(u"创建互斥对象失败!"), QStringLiteral("Error"),
                             platform::MB_OK | platform::MB_ICONINFORMATION);
        return 0;
    }
    if (onlyOne.result() == platform::InstanceLock::Result::AlreadyExists) {
        platform::messageBox(nullptr, QStringLiteral(u"程序已经有一个实例在运行!"),
                             QStringLiteral("OK"), platform::MB_OK | platform::MB_ICONINFORMATION);
        onlyOne.close();
        return 0;
    }

    platform::setApplicationTitle(kApplicationTitle);
    QApplication::setWindowIcon(main_window::icons::applicationIcon());
    QApplication::setDesktopFileName(QStringLiteral("vorela"));
    // The program ends through its exit commands only: the main window may be hidden in the
    // tray while another top-level window (a message box) closes.
    QApplication::setQuitOnLastWindowClosed(false);

    // The windows live until the event loop ends, and go in reverse order of creation.
    auto Form1 = std::make_unique<main_window::TForm1>();
    Form1->show();
    auto Form2 = std::make_unique<SearchDialog>(Form1.get());
    auto Form3 = std::make_unique<lyrics::LyricsWindow>();

    Form1->setSearchDialog(Form2.get());
    Form1->setLyricsWindow(Form3.get());
    Form2->setPlaylistSink(
        [form1 = Form1.get()](const std::string& folder, const std::string& name) {
            form1->addRow(folder, name);
        });
    Form3->setMainWindow(Form1.get());
    Form3->setElapsedTextSource([form1 = Form1.get()] { return form1->stat1->panelText(1); });

    QApplication::exec();
    return 0;
}

}  // namespace app
