#include "socket_connection.h"

#include <cerrno>
#include <cstring>

#include <sys/socket.h>

#include <com/sun/star/io/IOException.hpp>

namespace veltrano::sheet {

namespace css = com::sun::star;

namespace {

[[noreturn]] void fail(const char* what, int error) {
    std::string text = what;
    if (error != 0) text += std::string(": ") + std::strerror(error);
    throw css::io::IOException(rtl::OUString::createFromAscii(text.c_str()));
}

}  // namespace

SocketConnection::SocketConnection(UniqueFd socket, std::string description)
    : socket_(std::move(socket)), description_(std::move(description)) {}

sal_Int32 SocketConnection::read(css::uno::Sequence<sal_Int8>& bytes, sal_Int32 count) {
    if (count < 0) fail("negative read", 0);
    if (bytes.getLength() != count) bytes.realloc(count);
    sal_Int32 got = 0;
    while (got < count) {
        if (closed_) fail("connection closed", 0);
        const ssize_t n = recv(socket_.get(), bytes.getArray() + got, static_cast<std::size_t>(count - got), 0);
        if (n > 0) {
            got += static_cast<sal_Int32>(n);
        } else if (n == 0) {
            fail("end of stream", 0);
        } else if (errno != EINTR) {
            fail("recv", errno);
        }
    }
    return got;
}

void SocketConnection::write(const css::uno::Sequence<sal_Int8>& bytes) {
    const auto* data = reinterpret_cast<const char*>(bytes.getConstArray());
    std::size_t sent = 0;
    const auto size = static_cast<std::size_t>(bytes.getLength());
    while (sent < size) {
        if (closed_) fail("connection closed", 0);
        // No SIGPIPE when the office has gone: an error to throw instead.
        const ssize_t n = send(socket_.get(), data + sent, size - sent, MSG_NOSIGNAL);
        if (n >= 0) {
            sent += static_cast<std::size_t>(n);
        } else if (errno != EINTR) {
            fail("send", errno);
        }
    }
}

void SocketConnection::close() {
    if (!closed_.exchange(true)) shutdown(socket_.get(), SHUT_RDWR);
}

rtl::OUString SocketConnection::getDescription() {
    return rtl::OUString::fromUtf8(rtl::OString(description_.data(), static_cast<sal_Int32>(description_.size())));
}

}  // namespace veltrano::sheet
