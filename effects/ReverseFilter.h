// The reverse effect: plays the effect interval backwards. InitFilter reads the whole interval from
// the upstream source once, in chunks of at most 5000 ms of 16-bit PCM, reverses each chunk frame
// by frame (the channels keep their places) and writes it to a temporary file of its own in
// "TempPath"; the files stand in reverse order, so that reading them front to back gives the
// interval backwards, and each block inside the interval is overwritten from them.
//
// Keys: "nSamplesPerSec", "nChannels" (integers, both needed: the format asked of the source),
// "ChannelsMask" (unsigned; 0 keeps the source's), and the framework's "TempPath" (the folder,
// its closing separator optional, or a prefix of the names in a folder; the system's temporary
// folder when it is empty).
#pragma once

#include "platform/win32.h"

#include "effects/common/ParamRead.h"
#include "effects/common/TempSampleFile.h"
#include "effects/common/WholeBlock.h"

#include <cstdint>
#include <memory>
#include <vector>

class CReverseFilter : public CWholeBlockFilter {
public:
    // The longest chunk read at once, ms.
    static constexpr double kChunkMs = 5000.0;

    using CWholeBlockFilter::CWholeBlockFilter;
    ~CReverseFilter() override;

    // Builds the files (see above) and puts the read position where the source was. The source
    // is read on from where it stands (from the stream's start when it stands past the interval's
    // start), so that the effects ahead run as in a straight run, and what comes before the
    // interval is dropped as it is read. The interval ends at the stream's end (and where the
    // source stops giving audio), so that the files hold no more than the stream. Only closes the
    // files when the effect is disabled or either format key is 0. Fails with code 8 without an
    // upstream source, code 6 ("Audio format unsupported.") when the source refuses the format,
    // the source's failure when a read or a seek fails, and code 3 ("File access error.") when a
    // file cannot be made or written: no file stays then, and the thread's last error is the
    // system's error of that file call. The source is always sought back to where it was.
    HRESULT InitFilter(IUnknown* pParams) override;
    // The format keys: "nSamplesPerSec", "ChannelsMask", "nChannels".
    static const ParamTable<CReverseFilter>& Params();

    // The three format keys to 0; the framework's values stay as they are.
    HRESULT ResetParams() override;
    HRESULT LoadParams() override;
    // A new source: the files are closed and deleted.
    HRESULT ResetStream() override;
    // The read position follows every seek, reset and skip.
    HRESULT OnReset() override;
    HRESULT OnSeek() override;
    HRESULT OnSkip() override;
    void ProcessAudio(IUnknown* data, LONG totalBytes, LONG offsetBytes, LONG count, LONG last,
                      IAudioData** out) override;

    // For the tests: the files, the first one the end of the interval, and the read position.
    const std::vector<std::unique_ptr<corvane::TempSampleFile>>& Files() const { return m_files; }
    size_t CurrentFile() const { return m_current; }
    int64_t FileOffset() const { return m_fileOffset; }

private:
    void CloseFiles();
    // Reads from the source, which stands at `from` (ms, not past the interval's start), through
    // `duration` ms of the interval into reversed files, dropping what comes before the interval
    // as it is read; code 3 for a file that cannot be made or written.
    HRESULT BuildFiles(double from, double duration);
    // Sets the read position to stream time `ms`; the file's failure when it cannot go there.
    HRESULT Reposition(double ms);
    // What the files are named after: "TempPath" (see TempFilePrefix), else the system's folder.
    corvane::OleString Folder() const;

    int32_t m_channels = 0;  // "nChannels"
    uint32_t m_mask = 0;     // "ChannelsMask"
    int32_t m_rate = 0;      // "nSamplesPerSec"
    std::vector<std::unique_ptr<corvane::TempSampleFile>> m_files;
    size_t m_current = 0;      // index of the file being read
    int64_t m_fileOffset = 0;  // bytes already read from it
    // The geometry the files were made with: interval start (ms), rate and block align.
    double m_filesStart = 0.0;
    int64_t m_filesRate = 0;
    int64_t m_filesAlign = 0;
    DWORD m_fileError = ERROR_SUCCESS;  // the system's error of the file call that failed the build
};
