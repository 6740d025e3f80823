// The URP bridge's connection over a stream socket we connected ourselves
// (see office_pipe.h): the bridge gets exactly the socket we checked.
#pragma once

#include <atomic>
#include <string>

#include <com/sun/star/connection/XConnection.hpp>
#include <cppuhelper/implbase1.hxx>

#include "unique_fd.h"

namespace veltrano::sheet {

class SocketConnection final : public cppu::WeakImplHelper1<com::sun::star::connection::XConnection> {
public:
    SocketConnection(UniqueFd socket, std::string description);

    // Exactly `count` bytes, or css::io::IOException (end of stream, a
    // socket error, or close()).
    sal_Int32 SAL_CALL read(com::sun::star::uno::Sequence<sal_Int8>& bytes, sal_Int32 count) override;
    // All of `bytes`, or css::io::IOException.
    void SAL_CALL write(const com::sun::star::uno::Sequence<sal_Int8>& bytes) override;
    void SAL_CALL flush() override {}
    // Shuts the socket down: a read or write blocked in another thread (the
    // bridge's reader, a call the watchdog ends) returns at once and throws.
    // Any thread may call it, any number of times.
    void SAL_CALL close() override;
    rtl::OUString SAL_CALL getDescription() override;

private:
    // Release rule: the descriptor is closed only with the last reference
    // (the bridge's and ours), never by close(), so a thread still inside
    // read() or write() never sees its number reused by another file.
    ~SocketConnection() override = default;

    UniqueFd socket_;
    std::string description_;
    std::atomic<bool> closed_{false};
};

}  // namespace veltrano::sheet
