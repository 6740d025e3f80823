// The office one export works with, from the export lock to the last clean-up.
//
// Each export starts soffice itself, on a private pipe, and talks to it over
// a URP bridge of its own, on a socket we connected and checked ourselves.
// One export at a time per user; when it is done, the office stops listening
// on our pipe. The office keeps the document, unsaved, when we let go: the
// user owns it from then on. We never close the document and never end the
// user's office; we end only what we started that never served us (a start
// that hangs, an office that came up without a display).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/XConnection.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>

#include "call_watchdog.h"
#include "export_lock.h"
#include "office_process.h"
#include "unique_fd.h"
#include "veltrano/sheet/libreoffice.h"

namespace veltrano::sheet {

// A UNO object that must be ended explicitly, not merely released: a
// connection is closed, anything else (a bridge, a window) disposed. Release
// rule: ended on destruction; an object whose office has gone is ended
// already, and what that throws is nothing left to release.
template <class Interface>
class Ended {
public:
    Ended() = default;
    explicit Ended(com::sun::star::uno::Reference<Interface> object) : object_(std::move(object)) {}
    Ended(const Ended&) = delete;
    Ended& operator=(const Ended&) = delete;
    ~Ended() {
        if (!object_.is()) return;
        try {
            if constexpr (std::is_same_v<Interface, com::sun::star::connection::XConnection>) {
                object_->close();
            } else {
                com::sun::star::uno::Reference<com::sun::star::lang::XComponent>(
                    object_, com::sun::star::uno::UNO_QUERY_THROW)
                    ->dispose();
            }
        } catch (const com::sun::star::uno::Exception&) {
        }
    }
    void set(com::sun::star::uno::Reference<Interface> object) { object_ = std::move(object); }
    const com::sun::star::uno::Reference<Interface>& get() const { return object_; }

private:
    com::sun::star::uno::Reference<Interface> object_;
};

// One connection to the office and everything we obtained through it.
// Release rule: members are destroyed in reverse order, so the office-side
// references go first, while the bridge can still carry their release to the
// office; then the bridge is disposed (which ends its threads and closes the
// connection, and the office drops whatever we still held through it); then
// our connection is closed (closing twice is harmless). The references that
// serve only one call (a cell, the frame, a window) are locals of that call.
struct OfficeSession {
    explicit OfficeSession(com::sun::star::uno::Reference<com::sun::star::connection::XConnection> c)
        : connection(std::move(c)) {}
    Ended<com::sun::star::connection::XConnection> connection;
    Ended<com::sun::star::bridge::XBridge> bridge;
    com::sun::star::uno::Reference<com::sun::star::frame::XDesktop2> desktop;
    com::sun::star::uno::Reference<com::sun::star::frame::XModel> document;
    com::sun::star::uno::Reference<com::sun::star::sheet::XSpreadsheet> sheet;
};

// How one call into the office ended.
struct CallOutcome {
    enum class Kind { Answered, Failed, Disconnected, TimedOut } kind = Kind::Answered;
    std::string message;  // the office's own words, if it gave any

    bool answered() const { return kind == Kind::Answered; }
    // "<what>：LibreOffice ..." in the user's words; `waited` is how long
    // an unanswered call was given.
    std::string describe(const std::string& what, std::chrono::milliseconds waited) const;
};

class Office {
public:
    using Clock = std::chrono::steady_clock;

    explicit Office(const OfficeOptions& options) : options_(options) {}
    ~Office() { let_go(); }
    Office(const Office&) = delete;
    Office& operator=(const Office&) = delete;

    // Within the start deadline: takes the export lock, starts soffice on a
    // private pipe, connects to it and makes sure it can show a window. Any
    // failure lets go of everything and raises error 429, after ending what
    // we started that never served us.
    void start();

    // Whether the office is still ours to call: started, and no call failed.
    bool connected() const { return session_.has_value(); }

    // One call into the office with the watchdog armed for `timeout`. A call
    // that does not answer lets go of the office: nothing more goes there.
    CallOutcome call(std::chrono::milliseconds timeout, const std::function<void(OfficeSession&)>& body);

private:
    enum class OurStart { Kept, Ended };

    // The call itself; notes whether the office still answers.
    CallOutcome run(std::chrono::milliseconds timeout, const std::function<void(OfficeSession&)>& body);
    void take_lock(Clock::time_point deadline);
    std::vector<std::string> office_arguments() const;
    UniqueFd connect_pipe(Clock::time_point deadline);
    void connect(Clock::time_point deadline);
    // The one way out of a failed start: ends our launcher's group when
    // asked (what is left there never accepted us; an office it handed over
    // to is not in it), lets go and raises error 429 with `detail`.
    [[noreturn]] void fail_start(const std::string& detail, OurStart our_start = OurStart::Kept);
    // Asks the office to stop accepting on our pipe, started the same
    // detached way, and removes our socket once nobody listens on it.
    void withdraw_pipe() noexcept;
    void let_go() noexcept;

    const OfficeOptions& options_;
    std::string program_;
    std::string pipe_;       // the pipe's name, on the office's command line
    std::string pipe_path_;  // its socket
    // Release rule: let_go() drops the session first (see OfficeSession),
    // then the watchdog and the launcher, withdraws our pipe, and releases
    // the lock last, after every clean-up of this export.
    std::optional<ExportLock> lock_;
    std::optional<OfficeProcess> launcher_;
    std::optional<CallWatchdog> watchdog_;
    std::optional<OfficeSession> session_;
    // The office answered our last call, so it can take an --unaccept.
    bool office_answers_ = false;
    // The office dropped our connection part-way: it may be on its way out.
    bool office_lost_ = false;
};

}  // namespace veltrano::sheet
