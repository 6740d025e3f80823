// The bridge's connection over our own socket: whole reads or an exception,
// and a close() that frees a call blocked in another thread.
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <com/sun/star/io/IOException.hpp>

#include "socket_connection.h"

namespace veltrano::sheet {
namespace {

namespace css = com::sun::star;
using Bytes = css::uno::Sequence<sal_Int8>;
using namespace std::chrono_literals;

TEST(SocketConnection, WholeReadsOrAnExceptionAndACloseThatFreesABlockedCall) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    const css::uno::Reference<css::connection::XConnection> ours(new SocketConnection(UniqueFd(fds[0]), "test"));
    UniqueFd office(fds[1]);

    // The office's answer arrives in two parts; the bridge wants it whole.
    std::thread answer([&] {
        send(office.get(), "he", 2, 0);
        std::this_thread::sleep_for(50ms);
        send(office.get(), "llo", 3, 0);
    });
    Bytes bytes;
    EXPECT_EQ(ours->read(bytes, 5), 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.getConstArray()), 5), "hello");
    answer.join();

    // A call blocked in another thread (the bridge's reader) returns on close().
    bool threw = false;
    std::thread reader([&] {
        try {
            Bytes more;
            ours->read(more, 1);
        } catch (const css::io::IOException&) {
            threw = true;
        }
    });
    std::this_thread::sleep_for(100ms);
    ours->close();
    reader.join();
    EXPECT_TRUE(threw);
    EXPECT_THROW(ours->write(Bytes(1)), css::io::IOException);
}

// The office goes after one byte of two: a short read is an error, and so
// is a write (without SIGPIPE ending us).
TEST(SocketConnection, AnOfficeThatGoesMidwayIsAnError) {
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
    const css::uno::Reference<css::connection::XConnection> ours(new SocketConnection(UniqueFd(fds[0]), "test"));
    send(fds[1], "x", 1, 0);
    close(fds[1]);
    Bytes bytes;
    EXPECT_THROW(ours->read(bytes, 2), css::io::IOException);
    EXPECT_THROW(ours->write(Bytes(2)), css::io::IOException);
}

}  // namespace
}  // namespace veltrano::sheet
