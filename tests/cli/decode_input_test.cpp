// decode reads regular files in one piece sized from the file and falls back to chunked reads for
// inputs whose size is not known in advance; both paths must give the same samples.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "cli_run.h"

using namespace clitest;

namespace {

TEST(DecodeInput, ANamedPipeDecodesLikeTheSameBytesInARegularFile) {
    TempDir dir;
    // Longer than one 64 KB chunk, so the chunked reader has to join several reads.
    const Bytes stream = RepeatedStream(60);
    ASSERT_GT(stream.size(), 3u * 65536u);
    const fs::path regular = dir.Path("stream.mp3");
    WriteBytes(regular, stream);
    const fs::path pipe = dir.Path("stream.fifo");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);

    std::thread writer([&] {
        std::ofstream out(pipe, std::ios::binary); // blocks until the decoder opens the pipe
        out.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
    });
    const CliResult fromPipe = RunCli({"decode", pipe.string(), dir.Path("pipe.wav").string()});
    writer.join();
    const CliResult fromFile = RunCli({"decode", regular.string(), dir.Path("file.wav").string()});

    ASSERT_EQ(fromPipe.ExitCode, 0) << fromPipe.Err;
    ASSERT_EQ(fromFile.ExitCode, 0) << fromFile.Err;
    const Bytes pipeWav = ReadBytes(dir.Path("pipe.wav"));
    EXPECT_GT(pipeWav.size(), 60u * 4u * 1152u * 10u);
    EXPECT_EQ(pipeWav, ReadBytes(dir.Path("file.wav")));
}

TEST(DecodeInput, ADashReadsStandardInputThroughAPipe) {
    TempDir dir;
    const fs::path regular = dir.Path("stream.mp3");
    WriteBytes(regular, RepeatedStream(30));
    const std::string piped = "cat '" + regular.string() + "' | '" + TUNELO_CLI + "' decode - '" +
                              dir.Path("piped.wav").string() + "'";
    ASSERT_EQ(std::system(piped.c_str()), 0);
    ASSERT_EQ(RunCli({"decode", regular.string(), dir.Path("file.wav").string()}).ExitCode, 0);
    const Bytes wav = ReadBytes(dir.Path("piped.wav"));
    EXPECT_GT(wav.size(), 30u * 4u * 1152u * 10u);
    EXPECT_EQ(wav, ReadBytes(dir.Path("file.wav")));
}

TEST(DecodeInput, SamplesWrittenToStandardOutputEqualTheWavFilesData) {
    TempDir dir;
    const fs::path regular = dir.Path("stream.mp3");
    WriteBytes(regular, RepeatedStream(30));
    const CliResult toStdout = RunCli({"decode", regular.string(), "-"});
    const CliResult toWav = RunCli({"decode", regular.string(), dir.Path("out.wav").string()});
    ASSERT_EQ(toStdout.ExitCode, 0) << toStdout.Err;
    ASSERT_EQ(toWav.ExitCode, 0) << toWav.Err;
    const Bytes wav = ReadBytes(dir.Path("out.wav"));
    ASSERT_GT(wav.size(), 44u);
    // Raw samples on standard output, the same ones after the 44-byte header in the WAV file.
    EXPECT_EQ(Bytes(toStdout.Out.begin(), toStdout.Out.end()), Bytes(wav.begin() + 44, wav.end()));
}

} // namespace
