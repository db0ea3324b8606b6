// The sound-file reader: any file that libsndfile accepts is read to its end through the host's
// file source (and read again after a seek); any other is refused with a reason. Every object is
// released at the end.
#include "host/host.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_check.h"

namespace {

// Reads up to maxBlocks blocks of ms each; false when a read failed.
bool ReadBlocks(IMediaSource* source, double ms, int maxBlocks) {
    for (int i = 0; i < maxBlocks; ++i) {
        IUnknown* block = nullptr;
        const HRESULT hr = source->ReadAudio(-1, 0, ms, &block);
        if (FAILED(hr)) {
            FUZZ_CHECK(block == nullptr);
            return false;
        }
        if (block == nullptr) return true;
        IAudioData* audio = nullptr;
        FUZZ_CHECK(
            SUCCEEDED(block->QueryInterface(IID_IAudioData, reinterpret_cast<void**>(&audio))));
        BYTE* bytes = nullptr;
        LONG length = 0;
        if (SUCCEEDED(audio->GetBufferAndLength(corvane::kBufferRead, 0, &bytes, &length)) &&
            length > 0) {
            volatile BYTE sink = bytes[0] ^ bytes[length - 1];  // the whole block is readable
            (void)sink;
        }
        audio->Release();
        block->Release();
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace corvane::host;
    const int fd = memfd_create("fuzz.wav", 0);
    FUZZ_CHECK(fd >= 0);
    FUZZ_CHECK(write(fd, data, size) == static_cast<ssize_t>(size));
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    {
        IMediaSource* source = nullptr;
        std::string error;
        const HRESULT hr = OpenWavFileSource(path, &source, &error);
        if (FAILED(hr)) {
            FUZZ_CHECK(source == nullptr);
        } else {
            FUZZ_CHECK(source != nullptr);
            double duration = 0;
            source->get_audioDuration(-1, &duration);
            // A bounded read: a damaged header may claim hours that are not in the file.
            ReadBlocks(source, 100.0, 64);
            if (duration > 0 && SUCCEEDED(source->SeekAudio(-1, 0, duration / 2)))
                ReadBlocks(source, 7.0, 16);
            FUZZ_CHECK(source->Release() == 0);
        }
    }
    close(fd);
    FUZZ_CHECK(LiveObjectCount() == 0);
    return 0;
}
