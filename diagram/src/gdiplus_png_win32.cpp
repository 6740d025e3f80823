// A painted picture as the bytes of a PNG file, through GDI+'s own encoder.
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "gdiplus_win32.h"

namespace veltrano::diagram {

using namespace gdiplus;

namespace {

// A stream into a string, for the PNG encoder: what it writes where it
// seeks. Lives on the caller's stack; references are counted, not owned.
class StringStream final : public IStream {
public:
    explicit StringStream(std::string& bytes) : bytes_(bytes) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        if (IsEqualIID(iid, __uuidof(IUnknown)) || IsEqualIID(iid, __uuidof(ISequentialStream)) ||
            IsEqualIID(iid, __uuidof(IStream))) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE Read(void* into, ULONG count, ULONG* read) override {
        const std::size_t n = position_ < bytes_.size() ? std::min<std::size_t>(count, bytes_.size() - position_) : 0;
        if (n > 0) std::memcpy(into, bytes_.data() + position_, n);
        position_ += n;
        if (read != nullptr) *read = static_cast<ULONG>(n);
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* from, ULONG count, ULONG* written) override {
        if (from == nullptr && count > 0) return STG_E_INVALIDPOINTER;
        if (bytes_.size() < position_ + count) bytes_.resize(position_ + count);
        if (count > 0) std::memcpy(bytes_.data() + position_, from, count);
        position_ += count;
        if (written != nullptr) *written = count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override {
        const LONGLONG base = origin == STREAM_SEEK_SET   ? 0
                              : origin == STREAM_SEEK_CUR ? static_cast<LONGLONG>(position_)
                              : origin == STREAM_SEEK_END ? static_cast<LONGLONG>(bytes_.size())
                                                          : -1;
        if (base < 0) return STG_E_INVALIDFUNCTION;
        const LONGLONG to = base + move.QuadPart;
        if (to < 0) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<std::size_t>(to);
        if (now != nullptr) now->QuadPart = static_cast<ULONGLONG>(to);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
        bytes_.resize(static_cast<std::size_t>(size.QuadPart));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (stat == nullptr) return STG_E_INVALIDPOINTER;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = bytes_.size();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override {
        if (copy != nullptr) *copy = nullptr;
        return E_NOTIMPL;
    }

private:
    std::string& bytes_;
    std::size_t position_ = 0;
    ULONG references_ = 1;
};

}  // namespace

std::optional<GdiplusFailure> encode_png(const PixelRows& pixels, std::string& png) {
    png.clear();
    UINT count = 0, size = 0;
    gp::Status status = api().GdipGetImageEncodersSize(&count, &size);
    if (status != gp::Ok) return GdiplusFailure{static_cast<int>(status), "encoders"};
    std::vector<unsigned char> buffer(size);
    auto* codecs = reinterpret_cast<gp::ImageCodecInfo*>(buffer.data());
    status = api().GdipGetImageEncoders(count, size, codecs);
    if (status != gp::Ok) return GdiplusFailure{static_cast<int>(status), "encoders"};
    const gp::ImageCodecInfo* encoder = nullptr;
    for (UINT i = 0; i < count && encoder == nullptr; ++i) {
        if (codecs[i].MimeType != nullptr && std::wcscmp(codecs[i].MimeType, L"image/png") == 0) encoder = &codecs[i];
    }
    if (encoder == nullptr) return GdiplusFailure{static_cast<int>(gp::UnknownImageFormat), "PNG encoder"};

    gp::GpBitmap* bitmap = nullptr;
    // Without alpha: the page is opaque, and the file then holds three
    // channels, not four.
    status = api().GdipCreateBitmapFromScan0(pixels.width, pixels.height, pixels.width * 4, PixelFormat32bppRGB,
                                             reinterpret_cast<BYTE*>(pixels.bits), &bitmap);
    if (status != gp::Ok) return GdiplusFailure{static_cast<int>(status), "bitmap"};
    const Image image(bitmap);
    StringStream stream(png);
    status = api().GdipSaveImageToStream(bitmap, &stream, &encoder->Clsid, nullptr);
    if (status != gp::Ok) {
        png.clear();
        return GdiplusFailure{static_cast<int>(status), "PNG"};
    }
    return std::nullopt;
}

}  // namespace veltrano::diagram
