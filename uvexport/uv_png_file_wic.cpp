#include "uvexport/uv_png_file.h"

#include <windows.h>

#include <wincodec.h>

namespace {

// Releases a COM interface when it goes out of scope.
template <typename T> struct Com {
    T* p = nullptr;
    ~Com() {
        if (p)
            p->Release();
    }
    T* operator->() const { return p; }
};

std::wstring wide(const std::string& path) {
    int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 1), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

bool encode(const std::wstring& path, int width, int height,
            const std::vector<unsigned char>& rgb) {
    Com<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(&factory.p))))
        return false;
    Com<IWICStream> stream;
    if (FAILED(factory->CreateStream(&stream.p)) ||
        FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)))
        return false;
    Com<IWICBitmapEncoder> encoder;
    if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder.p)) ||
        FAILED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)))
        return false;
    Com<IWICBitmapFrameEncode> frame;
    if (FAILED(encoder->CreateNewFrame(&frame.p, nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(UINT(width), UINT(height))))
        return false;
    // The encoder may pick a nearby format; only 24-bit BGR is handed over.
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format)) || format != GUID_WICPixelFormat24bppBGR)
        return false;
    const UINT stride = UINT(width) * 3;
    std::vector<BYTE> bgr(rgb.size());
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        bgr[i] = rgb[i + 2];
        bgr[i + 1] = rgb[i + 1];
        bgr[i + 2] = rgb[i];
    }
    return SUCCEEDED(frame->WritePixels(UINT(height), stride, UINT(bgr.size()), bgr.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

} // namespace

bool uv_write_png_file(const std::string& path, int width, int height,
                       const std::vector<unsigned char>& rgb, std::string* error) {
    // COM for this thread; a thread that has it already (in another model) keeps it.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring name = wide(path);
    bool ok = encode(name, width, height, rgb);
    if (SUCCEEDED(com))
        CoUninitialize();
    if (!ok) {
        DeleteFileW(name.c_str());
        *error = path + " could not be written completely";
    }
    return ok;
}
