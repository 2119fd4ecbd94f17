#include "pack/payload.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "util/file_io.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tesmuro::pack {
namespace {

Payload Sample() {
  Payload p;
  p.scriptName = "每日表单.crec";
  p.script = std::string("\xD1\xD3\xB3\xD9 50\r\n", 9) + std::string(300, 'x');
  p.files = {{"pics/ok.png", std::string("\x89PNG\0\0\x01\xFF", 8)}, {"sub/b.crec", "b"}, {"empty.png", ""},
             {"C:/abs/d.png", "d"}};
  play::RunOptions& o = p.run.options;
  o.loopMode = play::LoopMode::Timed;
  o.loopTotalSeconds = 3723;
  o.loopCount = 7;
  o.speedPercent = 250;
  o.gameMode = true;
  o.followWindows = false;
  o.waitLimitSeconds = 86400;
  o.delayJitterPercent = 50;
  o.seed = 18446744073709551615ull;
  o.controller.hardwareInput = true;
  p.run.hotKeys = true;
  p.run.stopKey = 0x0313;
  return p;
}

// Reads `bytes` from a heap block of exactly their size, so that the
// address sanitizer catches a read past their end.
PayloadRead ReadExact(const std::string& bytes) {
  std::unique_ptr<char[]> block(new char[bytes.size() + (bytes.empty() ? 1 : 0)]);
  std::copy(bytes.begin(), bytes.end(), block.get());
  return ReadPayload(std::string_view(block.get(), bytes.size()));
}

// A body with a trailer that matches it: a forged payload that passes the CRC.
std::string Sealed(const std::string& body, uint32_t version = kPayloadVersion) {
  std::string out = body + "TSMRTAIL";
  auto put = [&](uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
  };
  put(version, 4);
  put(Crc32(body), 4);
  put(body.size(), 8);
  return out;
}
std::string Body(const std::string& payload) { return payload.substr(0, payload.size() - kTrailerBytes); }
std::string U32(uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)}; }

TEST(Payload, RoundTripKeepsEveryByteAndOption) {
  const Payload p = Sample();
  const std::string bytes = WritePayload(p);
  const PayloadRead r = ReadExact(bytes);
  ASSERT_EQ(r.state, PayloadState::Valid) << r.problem;
  EXPECT_EQ(r.payload, p);
  EXPECT_EQ(WritePayload(r.payload), bytes);

  Payload plain;  // defaults, no files, no seed
  plain.scriptName = "a";
  const PayloadRead q = ReadExact(WritePayload(plain));
  ASSERT_EQ(q.state, PayloadState::Valid) << q.problem;
  EXPECT_EQ(q.payload, plain);
  EXPECT_FALSE(q.payload.run.options.seed);

  EXPECT_EQ(ReadExact("").state, PayloadState::None) << "nothing after the image: a plain program";
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
}

TEST(Payload, EveryCutAndEveryFlippedByteIsRefused) {
  const std::string bytes = WritePayload(Sample());
  for (size_t n = 1; n < bytes.size(); ++n) {
    EXPECT_EQ(ReadExact(bytes.substr(0, n)).state, PayloadState::Damaged) << "cut to " << n;
    EXPECT_EQ(ReadExact(bytes.substr(n)).state, PayloadState::Damaged) << "first " << n << " gone";
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (unsigned char bit : {0x01, 0x80}) {
      std::string b = bytes;
      b[i] = static_cast<char>(b[i] ^ bit);
      const PayloadRead r = ReadExact(b);
      EXPECT_EQ(r.state, PayloadState::Damaged) << "byte " << i;
      EXPECT_FALSE(r.problem.empty());
    }
  }
  EXPECT_EQ(ReadExact(bytes + "x").state, PayloadState::Damaged);
  EXPECT_EQ(ReadExact("x" + bytes).state, PayloadState::Damaged);
}

// Payloads that pass the CRC but lie about their lengths or values.
TEST(Payload, ForgedLengthsAndValuesAreRefused) {
  Payload one;
  one.scriptName = "s";
  one.script = "abc";
  one.files = {{"p.png", "data"}};
  const std::string body = Body(WritePayload(one));
  ASSERT_EQ(ReadExact(Sealed(body)).state, PayloadState::Valid);
  const size_t run = 8, name = run + 4 + kRunBytes, script = name + 5, count = script + 7, file = count + 4;

  auto refused = [&](std::string b, const char* what) {
    EXPECT_EQ(ReadExact(Sealed(b)).state, PayloadState::Damaged) << what;
  };
  auto with = [&](size_t at, const std::string& v) { return body.substr(0, at) + v + body.substr(at + v.size()); };
  refused(with(run, U32(kRunBytes + 1)), "run record longer than the version's");
  refused(with(run, U32(kRunBytes - 1)), "run record shorter");
  refused(with(script, U32(0xFFFFFFFF)), "script length past the end");
  refused(with(script, U32(4)), "script length one past the end of its bytes");
  refused(with(name, U32(0)), "empty script name");
  refused(with(count, U32(0xFFFFFFFF)), "a huge file count");
  refused(with(count, U32(2)), "more files than there are");
  refused(with(count, U32(0)), "fewer files than there are (bytes left over)");
  refused(with(file, U32(0x7FFFFFF0)), "a file name past the end");
  refused(with(file + 4 + 5, U32(0xFFFFFFFF)), "file data past the end");
  refused(body + "x", "bytes after the last file");
  refused(with(0, "TSMRPACX"), "body magic");
  refused(with(run + 4 + 16, U32(0)), "speed 0");
  refused(with(run + 4 + 20, U32(0xFFFFFFFF)), "a negative wait limit");
  refused(with(run + 4, std::string(1, '\x03')), "no such loop mode");
  refused(with(run + 4 + 28, "\x01"), "a seed without its flag");

  Payload two = one;
  two.files.push_back({"p.png", "again"});
  refused(Body(WritePayload(two)), "a name twice");

  EXPECT_EQ(ReadExact(Sealed(body, 2)).state, PayloadState::Damaged) << "another version";
  // A trailer that claims a body larger than everything there is.
  std::string huge = WritePayload(one);
  for (int i = 0; i < 8; ++i) huge[huge.size() - 8 + i] = static_cast<char>(i == 7 ? 0x7F : 0xFF);
  EXPECT_EQ(ReadExact(huge).state, PayloadState::Damaged);
}

// Random damage: cuts and changed bytes anywhere, several at once.
TEST(Payload, RandomDamageIsNeverTakenForAPayload) {
  const std::string bytes = WritePayload(Sample());
  std::mt19937 random(30);
  for (int round = 0; round < 3000; ++round) {
    std::string b = bytes;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) b[random() % b.size()] = static_cast<char>(random());
    if (random() % 3 == 0) b.resize(random() % b.size());
    const PayloadRead r = ReadExact(b);
    if (b == bytes) continue;
    EXPECT_NE(r.state, PayloadState::Valid) << "round " << round;
  }
}

std::string OwnProgram() {
#ifdef _WIN32
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
#else
  const char* path = "/proc/self/exe";
#endif
  std::string bytes;
  EXPECT_TRUE(ReadWholeFile(path, bytes));
  return bytes;
}

// The test program itself is a real image of the system's kind (ELF here, PE
// under Wine): nothing after it, and a payload appended to it is found.
TEST(Payload, ProgramImageAndWhatFollowsIt) {
  const std::string program = OwnProgram();
  ASSERT_GT(program.size(), 1000u);
  ASSERT_EQ(ImageEnd(program), program.size());
  EXPECT_EQ(ReadProgramPayload(program).state, PayloadState::None);

  const std::string payload = WritePayload(Sample());
  const PayloadRead r = ReadProgramPayload(program + payload);
  ASSERT_EQ(r.state, PayloadState::Valid) << r.problem;
  EXPECT_EQ(r.payload, Sample());
  // A download cut short, or one with something else behind it.
  EXPECT_EQ(ReadProgramPayload(program + payload.substr(0, payload.size() / 2)).state, PayloadState::Damaged);
  EXPECT_EQ(ReadProgramPayload(program + payload.substr(0, 3)).state, PayloadState::Damaged);
  EXPECT_EQ(ReadProgramPayload(program + "junk").state, PayloadState::Damaged);
  // A program cut inside its own image is not one.
  EXPECT_FALSE(ImageEnd(program.substr(0, program.size() - 1)));
  EXPECT_FALSE(ImageEnd("MZ"));
  EXPECT_FALSE(ImageEnd(std::string(4096, '\0')));
  for (size_t n : {1ul, 64ul, 200ul, 1000ul})
    EXPECT_EQ(ReadProgramPayload(program.substr(0, n)).state, PayloadState::Damaged) << n;
}

TEST(Payload, NamesAndWhereTheyAreExtracted) {
  EXPECT_EQ(NormalizeName("pics\\a.png"), "pics/a.png");
  EXPECT_EQ(NormalizeName("./sub//x/../b.crec"), "sub/b.crec");
  EXPECT_EQ(NormalizeName("../../up.png"), "../../up.png");
  EXPECT_EQ(NormalizeName("a/../../up.png"), "../up.png");
  EXPECT_EQ(NormalizeName("C:\\pics\\..\\..\\a.png"), "C:/a.png");
  EXPECT_EQ(NormalizeName("/usr/./x.png"), "/usr/x.png");
  EXPECT_EQ(NormalizeName("\\\\server\\share\\x.png"), "//server/share/x.png");

  EXPECT_EQ(ExtractName("pics/a.png"), "pics/a.png");
  EXPECT_EQ(ExtractName("../../up.png"), "__/__/up.png");
  EXPECT_EQ(ExtractName("C:\\pics\\a.png"), "_/C_/pics/a.png");
  EXPECT_EQ(ExtractName("/etc/passwd"), "_/etc/passwd");
  EXPECT_EQ(ExtractName("a:b|c.png"), "_/a_b_c.png") << "a drive-like name is absolute on Windows";
  EXPECT_EQ(ExtractName("x/a?b.png"), "x/a_b.png");
  EXPECT_EQ(ExtractName(".."), "__");
}

}  // namespace
}  // namespace tesmuro::pack
