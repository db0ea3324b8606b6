// The host's media sources: audio-only IMediaSource objects that deliver interleaved 16-bit PCM
// blocks. CMediaSource holds what every source shares (position, reads, seeks, skips, times,
// properties); a derived class supplies the frames: a sound file or a generated signal.
#pragma once

#include "platform/win32.h"
#include "corvane/corvane.h"
#include "host/audio_block.h"
#include "host/audio_format.h"
#include "host/com_object.h"
#include "host/signal.h"
#include "host/sound_file.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace corvane::host {

// Answers of a source. Reads and seeks before a file is open: E_UNEXPECTED. A video or data call
// (the sources have only audio): E_NOTIMPL. A format the source cannot deliver:
// HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED). A stream other than -1 or 0, a NaN or negative time,
// an unknown property or a property value of the wrong type or range: E_INVALIDARG.

// Longest block one read delivers, ms; a longer request gets a block this long (shorter still
// when its bytes would not fit a LONG length).
constexpr double kMaxReadMs = 60000.0;

class CMediaSource : public ComObject<IMediaSource> {
public:
    // Properties every source answers through SetParam / GetParam:
    //   "BlockDuration" (VT_R8, ms, > 0 and <= kMaxReadMs; default 100): the length of a block
    //      when the read gives no positive duration, or always with "FixedBlocks";
    //   "FixedBlocks" (VT_BOOL, default false): every block has the block duration, whatever
    //      the read asks for (the last one may be shorter).
    // Names a source does not know are kept as given and answered by GetParam.
    STDMETHODIMP SendCommandEx(ULONGLONG lCommand, IUnknown* pCmdParams,
                               IUnknown** pOutInfo) override;
    STDMETHODIMP get_videoTracksCount(LONG* pVal) override;
    STDMETHODIMP put_videoTracksCount(LONG newVal) override;
    STDMETHODIMP get_audioTracksCount(LONG* pVal) override;
    STDMETHODIMP put_audioTracksCount(LONG newVal) override;
    STDMETHODIMP get_dataTracksCount(LONG* pVal) override;
    STDMETHODIMP put_dataTracksCount(LONG newVal) override;
    STDMETHODIMP get_videoTrack(LONG* pVal) override;
    STDMETHODIMP put_videoTrack(LONG newVal) override;
    STDMETHODIMP get_audioTrack(LONG* pVal) override;
    STDMETHODIMP put_audioTrack(LONG newVal) override;
    STDMETHODIMP get_dataTrack(LONG* pVal) override;
    STDMETHODIMP put_dataTrack(LONG newVal) override;
    STDMETHODIMP get_videoStream(LONG Mode, LONG Stream, IUnknown** ppStream) override;
    STDMETHODIMP get_audioStream(LONG Mode, LONG Stream, IUnknown** ppStream) override;
    STDMETHODIMP get_dataStream(LONG Mode, LONG Stream, IUnknown** ppStream) override;
    STDMETHODIMP ResetBuffers(LONG Stream, LONG Flags) override;
    STDMETHODIMP get_IsSeekable(LONG Stream, LONG Flags, VARIANT_BOOL* Seekable) override;
    STDMETHODIMP SeekVideo(LONG Stream, LONG Flags, double Time) override;
    STDMETHODIMP SeekAudio(LONG Stream, LONG Flags, double Time) override;
    STDMETHODIMP SeekData(LONG Stream, LONG Flags, double Time) override;
    STDMETHODIMP SkipVideo(LONG Stream, LONG Flags, double Duration) override;
    STDMETHODIMP SkipAudio(LONG Stream, LONG Flags, double Duration) override;
    STDMETHODIMP SkipData(LONG Stream, LONG Flags, double Duration) override;
    STDMETHODIMP ReadVideo(LONG Stream, LONG Flags, IUnknown** pVideoData) override;
    STDMETHODIMP ReadAudio(LONG Stream, LONG Flags, double Duration,
                           IUnknown** pAudioData) override;
    STDMETHODIMP ReadData(LONG Stream, LONG Flags, IUnknown** pDataData) override;
    STDMETHODIMP get_videoDuration(LONG Stream, double* pVal) override;
    STDMETHODIMP get_audioDuration(LONG Stream, double* pVal) override;
    STDMETHODIMP get_dataDuration(LONG Stream, double* pVal) override;
    STDMETHODIMP get_videoTime(LONG Stream, double* pVal) override;
    STDMETHODIMP get_audioTime(LONG Stream, double* pVal) override;
    STDMETHODIMP get_dataTime(LONG Stream, double* pVal) override;
    STDMETHODIMP get_videoFormat(LONG Stream, IUnknown** pVal) override;
    STDMETHODIMP put_videoFormat(LONG Stream, IUnknown* newVal) override;
    STDMETHODIMP get_audioFormat(LONG Stream, IUnknown** pVal) override;
    STDMETHODIMP put_audioFormat(LONG Stream, IUnknown* newVal) override;
    STDMETHODIMP get_dataFormat(LONG Stream, IUnknown** pVal) override;
    STDMETHODIMP put_dataFormat(LONG Stream, IUnknown* newVal) override;
    STDMETHODIMP get_videoTransform(LONG Stream, IUnknown** pVal) override;
    STDMETHODIMP get_audioTransform(LONG Stream, IUnknown** pVal) override;
    STDMETHODIMP get_dataTransform(LONG Stream, IUnknown** pVal) override;
    STDMETHODIMP SetParam(BSTR ParamName, VARIANT ParamValue) override;
    STDMETHODIMP GetParam(BSTR ParamName, VARIANT* ParamValue) override;

protected:
    CMediaSource() = default;
    ~CMediaSource() override;

    // The hooks below run under the source's lock.
    virtual bool IsOpenLocked() const = 0;
    virtual AudioFormatValues FormatLocked() const = 0;
    virtual int64_t TotalFramesLocked() const = 0;
    // Reads frames from `first` into dst; *got may be below frames only at the real end.
    virtual HRESULT ReadFramesLocked(int64_t first, int64_t frames, int16_t* dst, int64_t* got) = 0;
    // Accepts a new format (S_OK) or refuses it (kFormatNotSupported). The default accepts a
    // format that differs at most in the speaker mask.
    virtual HRESULT PutFormatLocked(const AudioFormatValues& format);
    // A property of the derived class: S_OK when set / answered, S_FALSE when the name is not
    // one of its own, or a failure.
    virtual HRESULT SetPropertyLocked(OleStringView name, const VARIANT& value);
    virtual HRESULT GetPropertyLocked(OleStringView name, VARIANT* value);
    // The block object a read hands out (test doubles override it). One reference.
    virtual CAudioBlock* NewBlock(const AudioFormatValues& format);

    // Drops the position back to the start (after a new file).
    void RewindLocked() { position_ = 0; }
    double MsOfFrameLocked(int64_t frame) const;
    double PositionMsLocked() const;
    // Positions at the whole frame of ms (trunc(rate x ms / 1000 + 0.0001)); a time at or past the
    // end stands at the end (the next read answers no block), one before the start at the start.
    void SeekMsLocked(double ms);

    // Recursive: a derived class may call back into the source while holding it.
    mutable std::recursive_mutex lock_;

private:
    HRESULT CheckStream(LONG stream) const;

    int64_t position_ = 0;  // frames from the start
    double blockMs_ = 100.0;
    bool fixedBlocks_ = false;
    std::map<OleString, VARIANT> bag_;  // unknown properties, owned copies
};

// The frames that a source announces for a stream whose length nothing tells until its end (a
// WAV stream on a pipe whose header sizes are the placeholders): more than any stream holds, so
// that it is read to its end, which its duration tells from the read that reaches it on. Memory
// that effects reserve by the duration would be lost on it: they reserve by the audio read.
constexpr int64_t kUnknownLengthFrames = int64_t{1} << 44;

// A sound file read through libsndfile. Property "FileName" (VT_BSTR): opens that file (UTF-16
// path) in place of the current one; GetParam answers the open file's name. GetParam also
// answers "FrameCount" (VT_I8: the frames the source delivers, fewer than the header declares
// once a read met the file's early end; VT_EMPTY while a stream's length is unknown),
// "DeclaredFrameCount" (VT_I8: what the header declares; VT_EMPTY for a stream whose header
// declares no length) and "DecodeFailure" (VT_BSTR: why the data ended early when it could not
// be decoded further, else empty), so that a host can tell that a file was cut short or damaged.
class CWavFileSource : public CMediaSource {
public:
    // Opens path (UTF-8); on failure the source keeps what it had open. *error, when given,
    // receives the reason.
    HRESULT Open(const std::string& path, std::string* error = nullptr);

protected:
    bool IsOpenLocked() const override { return reader_ != nullptr; }
    AudioFormatValues FormatLocked() const override { return format_; }
    int64_t TotalFramesLocked() const override { return total_; }
    HRESULT ReadFramesLocked(int64_t first, int64_t frames, int16_t* dst, int64_t* got) override;
    HRESULT SetPropertyLocked(OleStringView name, const VARIANT& value) override;
    HRESULT GetPropertyLocked(OleStringView name, VARIANT* value) override;
    HRESULT PutFormatLocked(const AudioFormatValues& format) override;

private:
    // The frames the source announces for what reader holds as far as it is known.
    static int64_t TotalOf(const SoundFileReader& reader);

    std::unique_ptr<SoundFileReader> reader_;
    OleString name_;
    AudioFormatValues format_;
    int64_t total_ = 0;
    int64_t declared_ = 0;
    int64_t filePos_ = 0;  // frame at which the reader stands
};

// A generated test signal (see signal.h). Properties: "Signal" (VT_BSTR: "tones", "sweep",
// "noise", "silence"), "SampleRate" and "Channels" (integers), "Seconds", "Frequency",
// "Amplitude" (numbers). A new rate or channel count also comes through put_audioFormat. Every
// change keeps the position in milliseconds.
class CSignalSource : public CMediaSource {
public:
    explicit CSignalSource(const SignalSettings& settings = SignalSettings());

protected:
    bool IsOpenLocked() const override { return true; }
    AudioFormatValues FormatLocked() const override;
    int64_t TotalFramesLocked() const override { return SignalFrames(settings_); }
    HRESULT ReadFramesLocked(int64_t first, int64_t frames, int16_t* dst, int64_t* got) override;
    HRESULT SetPropertyLocked(OleStringView name, const VARIANT& value) override;
    HRESULT GetPropertyLocked(OleStringView name, VARIANT* value) override;
    HRESULT PutFormatLocked(const AudioFormatValues& format) override;

private:
    HRESULT ApplySettingsLocked(const SignalSettings& settings, UINT64 layout);

    SignalSettings settings_;
    UINT64 layout_;
};

// A new source reading path (UTF-8).
HRESULT OpenWavFileSource(const std::string& path, IMediaSource** out,
                          std::string* error = nullptr);
// A new source generating the signal that settings describe.
HRESULT CreateSignalSource(const SignalSettings& settings, IMediaSource** out);

}  // namespace corvane::host
