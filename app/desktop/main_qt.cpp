// The Linux desktop program: the main window (or with --design the design
// workbench alone), or one line saying why it cannot be shown.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QString>
#include <QtGlobal>

#include "desktop_spreadsheet.h"
#include "veltrano/command/main_form.h"
#include "veltrano/command/workbench.h"
#include "veltrano/diagram/window.h"
#include "veltrano/gui/diagram_window.h"
#include "veltrano/gui/form_runtime.h"
#include "veltrano/gui/workbench.h"

namespace {

bool set(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Without an X or Wayland display Qt would abort with a plugin error that
// does not tell the user what to do. A platform chosen explicitly (such as
// offscreen or vnc) needs no display.
bool can_show_window(int argc, char** argv) {
    if (set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM")) return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return true;
        }
    }
    return false;
}

QtMessageHandler default_handler = nullptr;

// A display that is named but cannot be reached (a stale DISPLAY after ssh,
// an X server that has gone) makes Qt end the process with a fatal message
// that suggests reinstalling. Say what happened and where to go instead.
void on_qt_message(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg && text.contains(QLatin1String("platform plugin"))) {
        const char* display = set("DISPLAY") ? std::getenv("DISPLAY") : std::getenv("WAYLAND_DISPLAY");
        if (display == nullptr) display = "";
        std::fprintf(stderr,
                     "veltrano: 连不上图形显示 %s，无法打开窗口；请改用命令行版 veltrano-cli。"
                     " Cannot reach the display %s: use veltrano-cli.\n",
                     display, display);
        std::_Exit(2);
    }
    default_handler(type, context, text);
}

// Takes --design out of the arguments, which Qt then reads as its own;
// says whether it was there.
bool take_design_option(int& argc, char** argv) {
    bool found = false;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--design") == 0) {
            found = true;
        } else {
            argv[kept++] = argv[i];
        }
    }
    argv[kept] = nullptr;
    argc = kept;
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (!can_show_window(argc, argv)) {
        std::fputs("veltrano: 没有图形显示，无法打开窗口；请改用命令行版 veltrano-cli。"
                   " No display (DISPLAY and WAYLAND_DISPLAY are unset): use veltrano-cli.\n",
                   stderr);
        return 2;
    }
    default_handler = qInstallMessageHandler(on_qt_message);

    using namespace veltrano;
    if (take_design_option(argc, argv)) return gui::run_workbench(argc, argv, app::desktop_spreadsheet);

    // The diagram window follows every press; nothing of it is built until
    // F2 or the menu first opens it.
    diagram::DiagramView view;
    gui::DiagramWindow window(view);
    const gui::ClickHandler on_click = gui::press_followed_by(view, window, app::desktop_spreadsheet);
    // The workbench beside the main window, likewise built at its first F3.
    gui::WorkbenchWindow workbench(app::desktop_spreadsheet);
    return gui::run_form(argc, argv, command::main_form(), on_click,
                         {{diagram::kOpenCommand, 2, [&] { window.open(); }},
                          {command::kOpenWorkbench, command::kWorkbenchKey, [&] { workbench.open(); }}});
}
