// The workbench's controls on Windows: each made from its entry of
// command::workbench_layout() in the layout's order (a caption just before
// what it names, where a screen reader looks for a control's name; Tab in
// the order of the tab indices), placed again at every new size and DPI,
// and filled from the outcome shown.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "dpi_win32.h"
#include "tooltips_win32.h"
#include "top_level_win32.h"
#include "veltrano/command/main_form.h"
#include "veltrano/core/utf16.h"
#include "veltrano/gui/workbench_win32.h"
#include "workbench_window_win32.h"

namespace veltrano::gui {

namespace {

using Kind = command::WorkbenchControlKind;

constexpr int kFirstControlId = 100;
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
// The list's drop-down: room for every mixture without a scroll bar.
constexpr double kDropDownHeight = 320;
// The frame around a field in error, outside its border.
constexpr double kMarkWidth = 2;
// The stage table's columns, as shares of its width: n, x, y, T.
constexpr double kColumnShares[] = {0.16, 0.28, 0.28, 0.28};

// The layout's names and order, which do not change with the size.
const std::vector<command::WorkbenchControl>& named_layout() {
    static const std::vector<command::WorkbenchControl> layout =
        command::workbench_layout(command::kWorkbenchOpeningWidth, command::kWorkbenchOpeningHeight);
    return layout;
}

const command::WorkbenchResult* result_of(std::string_view name) {
    for (const command::WorkbenchResult& r : command::kWorkbenchResults) {
        if (command::result_control(r.name) == name) return &r;
    }
    return nullptr;
}

// A result's tooltip: what it is, then its full value when there is one.
std::string result_tip(const command::WorkbenchControl& c, const command::WorkbenchOutcome* outcome) {
    if (outcome == nullptr || !outcome->ok()) return c.tooltip;
    for (std::size_t i = 0; i < command::kWorkbenchResults.size(); ++i) {
        if (result_of(c.name) == &command::kWorkbenchResults[i] && !outcome->full[i].empty()) {
            return c.tooltip + "\n" + outcome->full[i];
        }
    }
    return c.tooltip;
}

// A control's text, unless it shows that already (a repaint saved).
void set_text(HWND control, const std::string& text) {
    const std::wstring wide = core::to_utf16(text);
    std::wstring shown(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    shown.resize(static_cast<std::size_t>(GetWindowTextW(control, shown.data(), static_cast<int>(shown.size()))));
    if (shown != wide) SetWindowTextW(control, wide.c_str());
}

}  // namespace

int win32_workbench_control_id(std::string_view name) {
    const auto& layout = named_layout();
    for (std::size_t row = 0; row < layout.size(); ++row) {
        if (layout[row].name == name) return kFirstControlId + static_cast<int>(row);
    }
    return 0;
}

std::size_t WorkbenchWindow::Impl::row_of(std::string_view name) const {
    for (std::size_t row = 0; row < layout.size(); ++row) {
        if (layout[row].name == name) return row;
    }
    return layout.size();
}

HWND WorkbenchWindow::Impl::control(std::string_view name) const {
    const std::size_t row = row_of(name);
    return row < children.size() ? children[row] : nullptr;
}

RECT WorkbenchWindow::Impl::device_rect(const command::Box& box) const {
    using win32::device;
    return {device(box.left, dpi), device(box.top, dpi), device(box.left + box.width, dpi),
            device(box.top + box.height, dpi)};
}

SIZE WorkbenchWindow::Impl::frame_for(double width, double height) const {
    return win32::frame_size(win32::device(width, dpi), win32::device(height, dpi), kWindowStyle, 0, dpi);
}

// Every control of the layout at the client area's size, in the layout's
// order, which is z-order and the order Tab follows among the tab stops.
bool WorkbenchWindow::Impl::create_controls() {
    RECT client;
    GetClientRect(hwnd(), &client);
    const double scale = static_cast<double>(dpi) / USER_DEFAULT_SCREEN_DPI;
    layout = command::workbench_layout(client.right / scale, client.bottom / scale);
    font = win32::message_font(dpi);
    children.assign(layout.size(), nullptr);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    bool first_radio = true;
    for (std::size_t row = 0; row < layout.size(); ++row) {
        const command::WorkbenchControl& c = layout[row];
        const int id = kFirstControlId + static_cast<int>(row);
        RECT r = device_rect(c.box);
        const wchar_t* window_class = L"STATIC";
        // A group of its own for each control but the second mode, so that
        // the arrow keys move between the two modes only.
        DWORD style = WS_CHILD | WS_VISIBLE | WS_GROUP | (c.tab_index >= 0 ? WS_TABSTOP : 0);
        DWORD ex_style = 0;
        std::string text = c.caption;
        switch (c.kind) {
        case Kind::kLabel:
        case Kind::kStatus:
            style |= SS_LEFT | SS_NOPREFIX;
            break;
        case Kind::kRadio:
            window_class = L"BUTTON";
            style |= BS_AUTORADIOBUTTON;
            if (!first_radio) style &= ~(WS_GROUP | WS_TABSTOP);
            first_radio = false;
            break;
        case Kind::kTextBox:
        case Kind::kResult:
            window_class = L"EDIT";
            style |= ES_LEFT | ES_AUTOHSCROLL | (c.kind == Kind::kResult ? ES_READONLY : 0);
            ex_style = WS_EX_CLIENTEDGE;
            if (c.kind == Kind::kTextBox) text = state.texts[c.name];
            break;
        case Kind::kList:
            window_class = L"COMBOBOX";
            style |= CBS_DROPDOWNLIST | WS_VSCROLL;
            r.bottom += win32::device(kDropDownHeight, dpi);
            break;
        case Kind::kTable:
            window_class = WC_LISTVIEWW;
            style |= LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS;
            ex_style = WS_EX_CLIENTEDGE;
            break;
        case Kind::kButton:
            window_class = L"BUTTON";
            style |= BS_PUSHBUTTON;
            break;
        case Kind::kDiagram:
            if (!picture.create(hwnd(), id, r, dpi)) return false;
            children[row] = picture.hwnd();
            continue;
        }
        filling = true;  // the text boxes' first texts are no edits
        children[row] = CreateWindowExW(ex_style, window_class, core::to_utf16(text).c_str(), style, r.left, r.top,
                                        r.right - r.left, r.bottom - r.top, hwnd(),
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        filling = false;
        if (children[row] == nullptr) return false;
        SendMessageW(children[row], WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    }

    if (HWND table = control(command::kStageTable)) {
        ListView_SetExtendedListViewStyle(table, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
        for (std::size_t i = 0; i < command::kStageColumns.size(); ++i) {
            std::wstring head = core::to_utf16(command::kStageColumns[i]);
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
            column.fmt = i == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;
            column.pszText = head.data();
            column.iSubItem = static_cast<int>(i);
            ListView_InsertColumn(table, static_cast<int>(i), &column);
        }
    }
    const bool design = state.mode == command::WorkbenchMode::kDesign;
    SendMessageW(control(design ? command::kDesignRadio : command::kRatingRadio), BM_SETCHECK, BST_CHECKED, 0);
    fill_mixture_list();
    enable_fields();

    tooltips = win32::create_tooltips(hwnd());
    for (std::size_t row = 0; row < layout.size(); ++row) {
        if (!layout[row].tooltip.empty()) win32::add_tooltip(tooltips, hwnd(), children[row], layout[row].tooltip);
    }
    win32::size_tooltips(tooltips, font.get(), dpi);
    place_controls();
    return true;
}

// Each control where the layout puts it at the client area's present size.
void WorkbenchWindow::Impl::place_controls() {
    RECT client;
    GetClientRect(hwnd(), &client);
    const double scale = static_cast<double>(dpi) / USER_DEFAULT_SCREEN_DPI;
    layout = command::workbench_layout(client.right / scale, client.bottom / scale);
    HDWP moves = BeginDeferWindowPos(static_cast<int>(children.size()));
    for (std::size_t row = 0; row < children.size() && row < layout.size(); ++row) {
        RECT r = device_rect(layout[row].box);
        if (layout[row].kind == Kind::kList) r.bottom += win32::device(kDropDownHeight, dpi);
        if (moves != nullptr) {
            moves = DeferWindowPos(moves, children[row], nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                                   SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    if (moves != nullptr) EndDeferWindowPos(moves);
    if (HWND table = control(command::kStageTable)) {
        RECT inside;
        GetClientRect(table, &inside);
        const int width = inside.right - win32::metric_for_dpi(SM_CXVSCROLL, dpi);
        for (std::size_t i = 0; i < std::size(kColumnShares); ++i) {
            ListView_SetColumnWidth(table, static_cast<int>(i), static_cast<int>(width * kColumnShares[i]));
        }
    }
    // The red frame moves with its field.
    InvalidateRect(hwnd(), nullptr, TRUE);
}

// On a monitor of another DPI: the font, the tooltips, the icons and the
// picture at the new DPI (the size the system proposes places the controls).
void WorkbenchWindow::Impl::apply_dpi(UINT new_dpi) {
    dpi = new_dpi;
    win32::Font new_font = win32::message_font(dpi);
    for (HWND child : children) SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(new_font.get()), TRUE);
    win32::size_tooltips(tooltips, new_font.get(), dpi);
    font = std::move(new_font);
    win32::set_icons(hwnd(), command::main_form().icon, dpi, big_icon, small_icon);
    picture.set_dpi(dpi);
}

void WorkbenchWindow::Impl::fill_mixture_list() {
    HWND list = control(command::kMixtureList);
    if (list == nullptr) return;
    SendMessageW(list, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : command::mixture_items(state)) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(core::to_utf16(item).c_str()));
    }
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(state.mixture), 0);
}

// The fields the mode and the mixture use, and their captions, enabled;
// the others greyed.
void WorkbenchWindow::Impl::enable_fields() {
    for (const command::WorkbenchField& f : command::kWorkbenchFields) {
        const BOOL on = command::field_enabled(state, f) ? TRUE : FALSE;
        const std::size_t row = row_of(f.name);
        if (row >= children.size()) continue;
        EnableWindow(children[row], on);
        for (std::size_t label = 0; label < layout.size(); ++label) {
            if (layout[label].kind == Kind::kLabel && layout[label].names == f.name) EnableWindow(children[label], on);
        }
    }
}

// The outcome shown: on success the results, their full values in the
// tooltips, the stage table and the fresh picture; on failure the results
// and the table emptied, the status line saying why, the field to blame
// framed, and the last good picture kept, dimmed.
void WorkbenchWindow::Impl::show_outcome() {
    const bool ok = outcome != nullptr && outcome->ok();
    filling = true;
    for (std::size_t row = 0; row < layout.size(); ++row) {
        const command::WorkbenchControl& c = layout[row];
        if (c.kind != Kind::kResult) continue;
        std::string text;
        for (std::size_t i = 0; ok && i < command::kWorkbenchResults.size(); ++i) {
            if (result_of(c.name) == &command::kWorkbenchResults[i]) text = outcome->shown[i];
        }
        set_text(children[row], text);
        win32::set_tooltip(tooltips, hwnd(), children[row], result_tip(c, outcome.get()));
    }
    filling = false;
    if (HWND table = control(command::kStageTable)) {
        const int rows = ok ? static_cast<int>(outcome->stage_rows.size()) : 0;
        ListView_SetItemCountEx(table, rows, 0);
        InvalidateRect(table, nullptr, TRUE);
    }
    set_text(control(command::kStatusLine), outcome != nullptr ? outcome->failure : std::string());
    mark_failed_field(ok || outcome == nullptr ? std::string() : outcome->failed_field);
    EnableWindow(control(command::kExportButton), ok && !pressing);
    EnableWindow(control(command::kSaveButton), ok && outcome->picture != nullptr);
    if (ok) {
        picture.show(outcome->picture);
    } else {
        picture.dim();
    }
    EnableWindow(control(command::kCopyButton), picture.picture() != nullptr);
}

// Frames `field` (a name of the layout; none when empty) in red, with its
// tooltip saying first what is wrong; the field framed before is let go.
void WorkbenchWindow::Impl::mark_failed_field(const std::string& field) {
    const std::string why = outcome != nullptr ? outcome->failure : std::string();
    const std::string names[] = {marked, field};
    for (int i = 0; i < 2; ++i) {
        const std::string& name = names[i];
        const std::size_t row = row_of(name);
        if (name.empty() || row >= children.size()) continue;
        RECT r;
        GetWindowRect(children[row], &r);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
        const int width = win32::device(kMarkWidth, dpi);
        InflateRect(&r, width, width);
        InvalidateRect(hwnd(), &r, TRUE);
        const std::string tip = layout[row].tooltip;
        win32::set_tooltip(tooltips, hwnd(), children[row], i == 1 ? "输入有误：" + why + "\n" + tip : tip);
    }
    marked = field;
}

void WorkbenchWindow::Impl::paint_marks() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd(), &ps);
    if (dc == nullptr) return;
    if (HWND field = control(marked)) {
        RECT r;
        GetWindowRect(field, &r);
        MapWindowPoints(nullptr, hwnd(), reinterpret_cast<POINT*>(&r), 2);
        if (row_of(marked) < layout.size() && layout[row_of(marked)].kind == Kind::kList) {
            // The list's window reaches down over its drop-down: the frame
            // goes round the closed list as the layout places it.
            r = device_rect(layout[row_of(marked)].box);
        }
        const int width = win32::device(kMarkWidth, dpi);
        const win32::Brush red(CreateSolidBrush(RGB(0xD0, 0x20, 0x20)));
        for (int i = 1; i <= width; ++i) {
            const RECT ring{r.left - i, r.top - i, r.right + i, r.bottom + i};
            FrameRect(dc, &ring, red.get());
        }
    }
    EndPaint(hwnd(), &ps);
}

// A row of the stage table as the list view asks for it (it holds none itself).
LRESULT WorkbenchWindow::Impl::table_text(LPARAM info) const {
    auto* item = &reinterpret_cast<NMLVDISPINFOW*>(info)->item;
    if ((item->mask & LVIF_TEXT) == 0 || item->cchTextMax <= 0) return 0;
    item->pszText[0] = L'\0';
    if (outcome == nullptr || !outcome->ok() || item->iItem < 0 || item->iSubItem < 0 || item->iSubItem > 3) return 0;
    const auto row = static_cast<std::size_t>(item->iItem);
    if (row >= outcome->stage_rows.size()) return 0;
    const std::wstring text = core::to_utf16(outcome->stage_rows[row][static_cast<std::size_t>(item->iSubItem)]);
    lstrcpynW(item->pszText, text.c_str(), item->cchTextMax);
    return 0;
}

}  // namespace veltrano::gui
