// The player component: opens an MPEG audio file or stream, decodes it on a thread of its own and plays it
// through the wave output (or writes it into a WAV file), with pause, seek, position reports, volume,
// balance and an equalizer.
//
// Everything public is called on the window thread: the thread that created the player. The worker threads
// (decode and wave output) report only by posting messages to the player's hidden window; the events fire
// when that thread pumps its messages (ProcessMessages, or the Qt host's own loop).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MP3Trds.h"
#include "MP3decdr.h"
#include "MPCPUSpc.h"
#include "aligned_block.h"
#include "file_stream.h"
#include "gapless.h"
#include "message_window.h"
#include "mp3_info.h"
#include "player_states.h"
#include "replay_gain.h"
#include "sound_out.h"
#include "stream_reader.h"
#include "stream_start.h"

namespace tunelo {

enum TMP3EqualizerMode : uint8_t { memSubBand, memFreq };

class TMP3Player;
using TMP3NotifyEvent = std::function<void(TMP3Player& sender)>;
using TMP3EndPlayEvent = std::function<void(TMP3Player& sender, TMP3EndPlayReason reason)>;

// The player's window messages.
constexpr uint32_t MPM_CHANGE_POSITION = WM_USER + 10;   // 1034
constexpr uint32_t MPM_THREAD_ERROR = WM_USER + 11;      // 1035
constexpr uint32_t MPM_END_OF_DATA = WM_USER + 12;       // 1036
constexpr uint32_t MPM_CHANGE_STATUS = WM_USER + 14;     // 1038
constexpr uint32_t MPM_END_PLAY = WM_USER + 15;          // 1039
constexpr uint32_t MPM_EQUALIZER_CHANGED = WM_USER + 16; // 1040
constexpr uint32_t MPM_TRACK_SWITCHED = WM_USER + 17;    // 1041

// Flags of OpenStream.
constexpr uint8_t kStreamSeekable = 0x01;
constexpr uint8_t kStreamOwned = 0x02;

class TMP3Player : private TMPMessageTarget {
public:
    static constexpr int32_t kReaderCapacity = 65536;
    static constexpr int32_t kPcmBufferSize = 5120;
    static constexpr int32_t kEqualizerBands = 32;
    // Garbage bytes passed over between two frames before the data counts as ended.
    static constexpr int32_t kMaxResync = 4096;
    // The highest frequency the decoder keeps, Hz.
    static constexpr int32_t kFrequencyLimit = 24000;

    TMP3Player();
    // Stops, closes, and ends the player's threads.
    virtual ~TMP3Player();

    TMP3Player(const TMP3Player&) = delete;
    TMP3Player& operator=(const TMP3Player&) = delete;

    // ---- Loading phase: the owner assigns stored property values between these two calls. ----
    void BeginLoading() { FLoading = true; }
    // Ends the loading phase: applies the frequency bands in memFreq mode and opens FileName when AutoOpen.
    void Loaded();
    bool Loading() const { return FLoading; }

    // ---- Published properties ----
    bool AutoOpen() const { return FAutoOpen; }
    // true (outside loading) opens FileName at once.
    void SetAutoOpen(bool value);
    bool AutoPlay() const { return FAutoPlay; }
    // true while a file is open and stopped starts playing.
    void SetAutoPlay(bool value);
    // Minimum ms between two position reports; values below 100 are ignored.
    int32_t ChangePosStep() const { return FChangePosStep; }
    void SetChangePosStep(int32_t value);
    TThreadPriority DecodePriority() const { return FDecodePriority; }
    void SetDecodePriority(TThreadPriority value);
    bool EqualizerEnabled() const { return FEqualizerEnabled; }
    void SetEqualizerEnabled(bool value);
    // Bands used in memFreq mode, 1..32; other values are ignored.
    int32_t EqualizerCount() const { return FEqualizerCount; }
    void SetEqualizerCount(int32_t value);
    TMP3EqualizerMode EqualizerMode() const { return FEqualizerMode; }
    void SetEqualizerMode(TMP3EqualizerMode value);
    // The equalizer's pre-amp in dB, -20..20 (other values are ignored). The bands are moved down by their
    // largest boost and then by the pre-amp, but never above 0 dB, so a boost never clips.
    double EqualizerPreamp() const { return FEqualizerPreamp; }
    void SetEqualizerPreamp(double decibels);
    const std::string& FileName() const { return FFileName; }
    // Stores the name and, with AutoOpen outside loading, opens it (an empty name closes).
    void SetFileName(const std::string& value);
    TMP3InfoType NeedInfoType() const { return FInfo.NeedInfoType(); }
    void SetNeedInfoType(TMP3InfoType value) { FInfo.SetNeedInfoType(value); }
    // false: every seek sets the decoder up anew before the next frame.
    bool NoisySeek() const { return FNoisySeek; }
    void SetNoisySeek(bool value) { FNoisySeek = value; }
    // This player's polarity; another player's output is not affected.
    bool InvertPolarity();
    void SetInvertPolarity(bool value);
    // The processor features the decoder may use; takes effect at the next Play.
    TMP3CpuCapabilities UsingCpuCapabilities() const { return FUsingCpuCapabilities; }
    void SetUsingCpuCapabilities(TMP3CpuCapabilities value);
    // How loud each file plays by its ReplayGain figures (off by default) and the pre-amp in dB added to
    // them; files without figures play at the pre-amp level. Takes effect from the next frame decoded.
    TMPReplayGainMode ReplayGainMode() const { return FReplayGainMode; }
    void SetReplayGainMode(TMPReplayGainMode value);
    double ReplayGainPreamp() const { return FReplayGainPreamp; }
    void SetReplayGainPreamp(double decibels);
    // For the automatic mode: whether the open file (and the files opened after it) plays among tracks of
    // its own album, and the same for the file prepared with SetNextFileName, which takes it over when it
    // begins. See InAlbumRun.
    bool AlbumRun() const { return FAlbumRun; }
    void SetAlbumRun(bool value);
    void SetNextAlbumRun(bool value);
    // Code page of tag text that declares none (ID3v1, Lyrics3, ...), as iconv names it; empty for
    // Latin-1. Takes effect at the next open.
    const std::string& LegacyCodePage() const { return FInfo.LegacyCodePage(); }
    void SetLegacyCodePage(std::string value) { FInfo.SetLegacyCodePage(std::move(value)); }
    // -100..100; other values are ignored.
    int32_t VolBalance() const { return FVolBalance; }
    void SetVolBalance(int32_t value);
    // Per cent, 0..100; other values are ignored. A 0 assigned while loading keeps the system volume.
    int32_t Volume() const { return FVolume; }
    void SetVolume(int32_t value);

    // ---- Events (fired on the window thread) ----
    TMP3NotifyEvent OnChangePosition;
    TMP3NotifyEvent OnChangeStatus;
    TMP3EndPlayEvent OnEndPlay;
    // The track prepared with SetNextFileName has begun to be heard: FileName, Duration and the tags are
    // now its, and Position counts from its start.
    TMP3NotifyEvent OnTrackChange;

    // ---- Control ----
    // Opens FileName (an empty name closes). A file that cannot be opened raises its error and changes
    // nothing; data that is not MPEG audio raises "unknown MPEG Audio format." and leaves no file open.
    void OpenFile();
    // Opens a stream that is already open; flags: kStreamSeekable, kStreamOwned (the player deletes it at
    // Close, also when opening fails). nullptr only closes.
    void OpenStream(TMPSourceStream* stream, uint8_t flags);
    void Close();
    // Starts playing to the device (or into the WAV file PlayToFile named); a file must be open and stopped.
    void Play();
    void PlayToFile(const std::string& wavFileName);
    void Pause();
    void Resume();
    void Stop();
    // Moves playback to ms while playing or paused on a seekable stream (not while writing a file).
    void Seek(int32_t ms);
    // Opens the file that is to follow the current one without a gap: when the current one's data ends,
    // the decode thread carries straight on into it on the same open device (or, when its sample rate or
    // channels differ, the current one ends as usual and the caller opens it as today). A file that cannot
    // be opened raises its error here and nothing is prepared. Ignored without an open file and while
    // decoding to a WAV file. An empty name cancels, as do Stop, Seek, Close, PlayToFile and opening
    // another file.
    void SetNextFileName(const std::string& fileName);
    void CancelNext();
    // The prepared file, empty when there is none.
    std::string NextFileName();
    // Play position in ms.
    int32_t Position();
    // Playing time in ms; 0 when it cannot be known.
    int32_t Duration();
    // As Duration, but first waits for the frame count of a VBR file without an information frame, which
    // runs on a thread of its own after the file opens.
    int32_t CountedDuration();

    // ---- Equalizer ----
    // Gain -100..100 of band index 0..31 (other gains are ignored; other indexes raise the list-index error).
    void SetEqualizerBand(int32_t index, int32_t gain);
    int32_t EqualizerBand(int32_t index) const;
    // Band edges in Hz of memFreq mode (sub-band centres after memSubBand is applied).
    int32_t FrequencyBand(int32_t index) const;
    // memFreq only, 0 < low <= high <= 24000: band edges in a geometric series from low to high.
    void SetFrequencyBands(int32_t low, int32_t high);

    // ---- State and stream information ----
    TMP3PlayerStatus Status() const { return FStatus; }
    bool IsOpen() const { return FStream != nullptr; }
    bool Seekable() const { return (FStreamFlags & kStreamSeekable) != 0; }
    // Non-empty while decoding into a WAV file.
    const std::string& WavOutputName() const { return FWavOutputName; }
    // 1, 2 or 3; 0 when no file is open.
    int32_t Layer() const { return FLayer; }
    // 1 = MPEG-1, 2 = MPEG-2, 3 = MPEG-2.5; 0 when no file is open.
    int32_t Version() const { return FVersion; }
    int32_t SampleRate() const { return FSampleRate; }
    int32_t Channels() const { return FChannels; }
    // Of the first frame, bit/s; 0 for a file with a VBR information frame.
    int32_t BitRate() const { return FBitRate; }
    // PCM bytes of one decoded frame.
    int32_t BytesPerFrame() const { return FBytesPerFrame; }
    int64_t TotalPcmBytes() const { return FTotalPcmBytes; }
    // The samples (per channel) a listener hears from start to end, where the encoder's delay and padding
    // and the stream's length are known; kUnknownSamples otherwise.
    int64_t ExactSamples() const { return FEncoderGap.Known ? FHeard.Length() : kUnknownSamples; }
    // What the encoder reported about its delay and padding (LAME tag or iTunSMPB).
    const TMPEncoderGap& EncoderGap() const { return FEncoderGap; }
    int64_t DataStart() const { return FDataStart; }
    // TMP3Info::kUnknownLength when the length is not known.
    int64_t DataLength();
    const TMPHeader& Header() const { return FHeader; }
    // Stream offsets of the frames found so far (the first audio frame first).
    std::vector<int64_t> FramePositions();
    // The decoder state this player owns (for inspection; the decode thread works on it).
    const TMPDecoderState& DecoderState() const { return *FDecoderState; }

    // ---- Tags ----
    // The tags' title; the file name without its folder when they give none.
    std::string Title() const;
    std::string Artist() const { return FInfo.Artist(); }
    std::string Album() const { return FInfo.Album(); }
    std::string Year() const { return FInfo.Year(); }
    std::string Comment() const { return FInfo.Comment(); }
    std::string Genre() const { return FInfo.Genre(); }
    std::string Track() const { return FInfo.Track(); }
    TMP3InfoType FoundInfoTypes() const { return FInfo.FoundInfoTypes(); }
    // Everything the tag reader found in the open file: further fields, the picture, ReplayGain.
    const TMP3Info& Info() const { return FInfo; }
    const TMPInfoList& RiffInfo() const { return FInfo.RiffInfo(); }

protected:
    virtual void DoChangeStatus();
    virtual void DoChangePosition();
    virtual void DoEndPlay();

private:
    // Receives the decode thread's watch event.
    class TDecodeTarget : public TMPMessageTarget {
    public:
        explicit TDecodeTarget(TMP3Player& player) : FPlayer(player) {}
        void Dispatch(TMPMessage& message) override;

    private:
        TMP3Player& FPlayer;
    };

    // An error a worker thread met, waiting for the window thread to show it.
    struct TWorkerError {
        // The error as thrown, so the window can tell a lost device from a lost file.
        std::exception_ptr Error;
        uint32_t Generation;
    };

    // Window messages.
    void Dispatch(TMPMessage& message) override;
    void HandleMessage(TMPMessage& message);
    void HandleChangePosition();
    void HandleThreadError();
    void HandleEndOfData(uint32_t generation);
    // Fires OnTrackChange once the prepared track the decode thread moved on to is being heard.
    void CheckTrackChange();
    // Decode thread, decoder lock held, at the end of the data: opens the prepared track in place of the
    // current one. false when there is none, or when the current play must end first (the track could not
    // be opened, or needs another device format).
    bool SwitchToNext();
    int32_t DurationLocked();
    // Output lock held: adds what the device played since the last look to the played bytes; true when
    // that reached a pending track switch.
    bool AccountPlayedLocked();

    // Worker-thread handlers.
    void HandleWorkerError(const std::exception& error, bool& handled, bool fromDecodeThread);
    void PositionHandler();
    TSoundOut::TNotifyEvent ProgressHandler();

    // Decode loop (decode thread).
    void MPMWatchEvent();
    // The step's work under the decoder lock; false when the step ends without handing PCM to the output.
    bool DecodeUnderLock(int32_t& freePercent, bool& endOfData);
    void FinishEndOfData();
    void Truncate();
    void Resync();
    // The frame check of the bytes at the reader: frame length with padding, 0 when they are not a frame
    // of this stream.
    int32_t CheckFrame(const uint8_t* bytes, TMPHeader& header) const;
    bool WalkFrame();

    // Opening.
    // OpenStream without the AutoPlay start.
    void OpenStreamUnchecked(TMPSourceStream* stream, uint8_t flags);
    void OpenStreamUnderLock();
    // FGainFactor from the open file's figures, the mode, the pre-amp and the album run; under the decoder
    // lock.
    void UpdateGainFactorLocked();
    // Skips the information frame at the reader; returns the decoded samples per channel its frame count
    // gives, kUnknownSamples without a count. A LAME tag in it gives the encoder's delay and padding.
    int64_t SkipInfoFrame(const TMPInfoFrame& info);
    // An iTunSMPB comment in the ID3v2 tag at the start of the stream; leaves the reader at the first frame.
    void ReadITunesGap(const TMPStreamStart& start);
    // Keeps only the heard samples of the frame just decoded into the PCM buffer; returns their bytes.
    int32_t TrimDecodedFrame(uint8_t* pcm);
    void StartFrameCount(const std::string& fileName);
    void StopFrameCount();
    void RequestEqualizer();
    void ApplyEqualizer();

    // Status and stopping.
    void SetStatus(TMP3PlayerStatus status);
    // Closes the output, stops the decode loop, rewinds; rethrows what closing the output raised.
    void StopOutput();
    void ResetPlayState();
    void RequestPosition();

    std::unique_ptr<TMPDecoderState> FDecoderState;
    TMP3Info FInfo;
    TMPStreamReader FReader{kReaderCapacity};
    TMPSimpleMutex FDecoderLock;
    TMPSimpleMutex FOutputLock;

    // Published property values.
    bool FLoading = false;
    bool FDestroying = false;
    bool FAutoOpen = true;
    bool FAutoPlay = true;
    int32_t FChangePosStep = 400;
    TThreadPriority FDecodePriority = tpNormal;
    bool FEqualizerEnabled = false;
    int32_t FEqualizerCount = 6;
    TMP3EqualizerMode FEqualizerMode = memSubBand;
    double FEqualizerPreamp = 0;
    std::string FFileName;
    bool FNoisySeek = true;
    TMP3CpuCapabilities FUsingCpuCapabilities{0x3F};
    int32_t FVolBalance = 0;
    int32_t FVolume = 100;
    TMPReplayGainMode FReplayGainMode = rgmOff;
    double FReplayGainPreamp = 0;
    bool FAlbumRun = false;
    bool FNextAlbumRun = false;
    // The linear factor the decoded samples are scaled by; changed under the decoder lock.
    double FGainFactor = 1.0;

    // The open stream.
    // Replaced by the decode thread at a gapless switch while the window thread asks IsOpen().
    std::atomic<TMPSourceStream*> FStream{nullptr};
    uint8_t FStreamFlags = 0;
    TMPHeader FHeader{};
    int32_t FLayer = 0;
    int32_t FVersion = 0;
    int32_t FSampleRate = 0;
    int32_t FChannels = 0;
    int32_t FBytesPerFrame = 0;
    int32_t FBitRate = 0;
    // Where the stream starts and its first header, which every later frame is checked against.
    TMPStreamStart FStart;
    // The frame count of a VBR file without an information frame: started by OpenFile, read by Duration.
    bool FNeedsFrameCount = false;
    std::thread FFrameCounter;
    std::atomic<bool> FStopFrameCount{false};
    std::atomic<int64_t> FCountedPcmBytes{0};
    int64_t FDataStart = 0;
    int64_t FDataLength = TMP3Info::kUnknownLength;
    int64_t FTotalPcmBytes = 0;
    TMPSimpleMutex FFramePositionsLock;
    std::vector<int64_t> FFramePositions;
    // Gapless trimming: the encoder's delay and padding, the heard part of the decoded samples, and the
    // samples per channel of one frame.
    TMPEncoderGap FEncoderGap;
    TMPHeardRange FHeard;
    int32_t FFrameSamples = 0;

    // Decode state (decoder lock).
    TMPHeader FFrameHeader{};
    int32_t FCurrentFrameLength = 0;
    int32_t FResyncCount = 0;
    bool FReInitNeeded = false;
    TMPAlignedBlock FPcmBuffer;
    int32_t FPendingPcm = 0;
    // The decoded sample (per channel) the next frame starts at, and the first one to be heard: the start
    // of the music, or the target of a seek.
    int64_t FNextFrameSample = 0;
    int64_t FHeardFrom = 0;

    // Play state (output lock).
    int64_t FPlayedBytes = 0;
    int32_t FPosition = 0;
    // Bytes of the decoded track handed to the output, counted like FPlayedBytes.
    int64_t FWrittenBytes = 0;
    // The decode thread has moved on to the next track while the listener still hears FSwitchAt bytes
    // (counted like FPlayedBytes) of the current one; FSwitchHeard once they have been played.
    bool FSwitchPending = false;
    bool FSwitchHeard = false;
    int64_t FSwitchAt = 0;
    int32_t FDurationBeforeSwitch = 0;

    // The track to follow (decoder lock): its open stream and name, then, once the decode thread has moved
    // on to it, the name until it is heard. FSwitchEnded: the move failed or needs the device reopened,
    // so the play ends as at the end of any file, with the stream no longer the one FileName names.
    std::unique_ptr<TMPSourceStream> FNextStream;
    std::string FNextFileName;
    std::string FSwitchedFileName;
    bool FSwitchEnded = false;
    // The decode thread moved on to a track whose change the window thread has not yet reported; at the end
    // of that track's data it waits for the report (which may prepare another track) before ending.
    bool FAwaitingTrackChange = false;

    TMP3PlayerStatus FStatus = mpsStopped;
    TMP3EndPlayReason FEndPlayReason = meprStopped;
    // The reason the next OnEndPlay reports, taken when playback ended.
    TMP3EndPlayReason FReportedEndPlayReason = meprStopped;
    std::string FWavOutputName;
    uint32_t FOutputDevice = WAVE_MAPPER;
    // Counts the plays, so that a report of an earlier play never ends a later one.
    std::atomic<uint32_t> FPlayGeneration{0};

    std::array<int32_t, kEqualizerBands> FBandGains{};
    std::array<int32_t, kEqualizerBands> FBandFrequencies{};

    std::mutex FWorkerErrorsLock;
    std::deque<TWorkerError> FWorkerErrors;
    bool FPumping = false;

    // Destroyed first, in this order from the bottom up: the threads and the window call into everything
    // above.
    std::unique_ptr<TMPMessageWindow> FWindow;
    TSoundOut FSoundOut;
    TDecodeTarget FDecodeTarget{*this};
    std::unique_ptr<TMPLoopThread> FDecodeThread;
};

} // namespace tunelo
