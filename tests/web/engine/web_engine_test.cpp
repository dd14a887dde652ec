// The browser's engine (web/engine/web_engine.cpp) built natively: a file's readings and exports
// are the command line's bytes, live blocks read as the file does with gaps bridged, and the
// display model and drawing follow the session.
#include "web/engine/web_engine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "meter/audio/audio_file.h"

namespace {

using wobblemeter::WebEngine;
using wobblemeter::WebStatus;
namespace fs = std::filesystem;

// A command's standard output (its standard error dropped unless asked for).
std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

long long Count(size_t n) {
    return static_cast<long long>(n);
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// One folder with a 12 s tone of 0.1 % at 3150 Hz, 44.1 kHz, made by our generator.
class WebEngineTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("web-engine-test-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        tone_ = (dir_ / "tone.wav").string();
        Output(std::string(WOBBLEGEN_CLI) + " --duration 12 --level 0.1 -o " + tone_ +
               " >/dev/null");
    }
    static void TearDownTestSuite() {
        if (!testing::UnitTest::GetInstance()->Failed()) fs::remove_all(dir_);
    }

    static std::string Meter(const std::string& arguments) {
        return Output(std::string(WOBBLEGEN_METER) + " " + arguments + " 2>&1");
    }
    // The tone's samples, as the worklet would hand them over.
    static std::vector<float> Samples() {
        wobblemeter::AudioFile file(tone_);
        std::vector<float> samples(static_cast<size_t>(file.DeclaredFrames()));
        samples.resize(file.Read(0, samples.data(), samples.size()));
        return samples;
    }

    static fs::path dir_;
    static std::string tone_;
};
fs::path WebEngineTest::dir_;
std::string WebEngineTest::tone_;

TEST_F(WebEngineTest, FileReadingsAreTheCommandLinesJsonByteForByte) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {R"({"rpm": "33.333"})", "--rpm 33.333"},
        {R"({"rpm": 45, "channel": 1, "carrier": 3150})", "--rpm 45 --channel 1 --carrier 3150"},
        {R"({"window": 3})", "--window 3"},
    };
    for (const auto& [options, arguments] : cases) {
        WebEngine engine;
        std::vector<double> progress;
        engine.progress = [&](double f) { progress.push_back(f); };
        ASSERT_EQ(engine.MeasureFile(tone_, options), WebStatus::kDone) << engine.LastError();
        EXPECT_EQ(engine.ReadingsJson(), Meter(std::string(arguments) + " --json " + tone_))
            << options;
        ASSERT_FALSE(progress.empty());
        EXPECT_LE(progress.back(), 1.0);
        EXPECT_GT(progress.back(), 0.5);
    }
}

TEST_F(WebEngineTest, FileExportsAreTheCommandLinesFiles) {
    const fs::path log = dir_ / "log.csv", svg = dir_ / "plot.svg", png = dir_ / "plot.png";
    Meter("--rpm 45 --log " + log.string() + " --plot " + svg.string() + " " + tone_);
    Meter("--rpm 45 --plot " + png.string() + " " + tone_);
    WebEngine engine;
    ASSERT_EQ(engine.MeasureFile(tone_, R"({"rpm": 45})"), WebStatus::kDone);
    for (const auto& [kind, expected] : {std::pair{"png", png}, {"csv", log}, {"svg", svg}}) {
        const fs::path out = dir_ / (std::string("export.") + kind);
        ASSERT_EQ(engine.Export(kind, out.string()), WebStatus::kDone) << engine.LastError();
        EXPECT_TRUE(Slurp(out) == Slurp(expected)) << kind << ": " << out << " is not " << expected;
    }
    const fs::path json = dir_ / "export.json", pdf = dir_ / "export.pdf";
    ASSERT_EQ(engine.Export("json", json.string()), WebStatus::kDone);
    EXPECT_EQ(Slurp(json), engine.ReadingsJson());
    ASSERT_EQ(engine.Export("pdf", pdf.string()), WebStatus::kDone);
    EXPECT_EQ(Slurp(pdf).substr(0, 5), "%PDF-");
    // A file has no recording of its own to export, and no kind is made up.
    EXPECT_EQ(engine.Export("wav", (dir_ / "x.wav").string()), WebStatus::kFailed);
    EXPECT_EQ(engine.Export("gif", (dir_ / "x.gif").string()), WebStatus::kUsage);
    EXPECT_FALSE(fs::exists(dir_ / "x.gif"));
}

TEST_F(WebEngineTest, RefusalsAreInTheCommandLinesWords) {
    WebEngine engine;
    const std::string missing = (dir_ / "missing.wav").string();
    EXPECT_EQ(engine.MeasureFile(missing, ""), WebStatus::kFailed);
    EXPECT_EQ("wobblemeter: " + engine.LastError() + "\n", Meter("--json " + missing));
    EXPECT_EQ(engine.ReadingsJson(), "");
    const std::pair<const char*, const char*> refused[] = {
        {R"({"rpm": 40})", "--rpm 40"},
        {R"({"carrier": "100"})", "--carrier 100"},
        {R"({"channel": 0})", "--channel 0"},
        {R"({"window": "0x10"})", "--window 0x10"},
    };
    for (const auto& [options, arguments] : refused) {
        EXPECT_EQ(engine.MeasureFile(tone_, options), WebStatus::kUsage) << options;
        ASSERT_FALSE(engine.LastError().empty());
        EXPECT_NE(Meter(std::string(arguments) + " " + tone_).find(engine.LastError()),
                  std::string::npos)
            << engine.LastError();
    }
    EXPECT_EQ(engine.MeasureFile(tone_, "[1]"), WebStatus::kUsage);
    EXPECT_EQ(engine.LivePush(nullptr, 0), WebStatus::kUsage);
    EXPECT_EQ(engine.LiveStart(1000.0, ""), WebStatus::kUsage);
}

// The figures of a JSON reading without what names its source.
nlohmann::json Figures(const std::string& json) {
    nlohmann::json j = nlohmann::json::parse(json);
    for (const char* key : {"file", "device"}) j.erase(key);
    return j;
}

TEST_F(WebEngineTest, LiveBlocksReadAsTheFileDoes) {
    const std::vector<float> samples = Samples();
    WebEngine file, live;
    ASSERT_EQ(file.MeasureFile(tone_, ""), WebStatus::kDone);
    ASSERT_EQ(live.LiveStart(44100.0, ""), WebStatus::kDone) << live.LastError();
    constexpr size_t kBlock = 128;  // a render quantum of the worklet
    for (size_t at = 0; at < samples.size(); at += kBlock)
        ASSERT_EQ(live.LivePush(samples.data() + at, Count(std::min(kBlock, samples.size() - at))),
                  WebStatus::kDone);
    ASSERT_EQ(live.LiveStop(), WebStatus::kDone) << live.LastError();
    const nlohmann::json j = nlohmann::json::parse(live.ReadingsJson());
    EXPECT_TRUE(j["file"].is_null());
    EXPECT_EQ(j["device"], "browser");
    EXPECT_EQ(Figures(live.ReadingsJson()), Figures(file.ReadingsJson()));
    // The recording holds every sample.
    const fs::path wav = dir_ / "live.wav";
    ASSERT_EQ(live.Export("wav", wav.string()), WebStatus::kDone) << live.LastError();
    EXPECT_EQ(wobblemeter::AudioFile(wav.string()).DeclaredFrames(),
              static_cast<long long>(samples.size()));
}

TEST_F(WebEngineTest, LiveGapsAndGarbageAreBridgedAndCounted) {
    std::vector<float> samples = Samples();
    const size_t gapAt = 6 * 44100, gap = 2048;
    samples[gapAt + 3 * 44100] = NAN;  // a sample that is no audio: lost, as the others are
    WebEngine live;
    ASSERT_EQ(live.LiveStart(44100.0, ""), WebStatus::kDone);
    ASSERT_EQ(live.LivePush(samples.data(), Count(gapAt)), WebStatus::kDone);
    ASSERT_EQ(live.LiveGap(static_cast<int>(gap)), WebStatus::kDone);
    ASSERT_EQ(live.LivePush(samples.data() + gapAt + gap, Count(samples.size() - gapAt - gap)),
              WebStatus::kDone)
        << live.LastError();
    const nlohmann::json shown = nlohmann::json::parse(live.DisplayJson());
    EXPECT_EQ(shown["overruns"], 2);
    EXPECT_EQ(shown["lost_frames"], gap + 1);
    EXPECT_NEAR(shown["seconds"].get<double>(), 12.0, 1e-9);
    ASSERT_EQ(live.LiveStop(), WebStatus::kDone) << live.LastError();
    const nlohmann::json j = nlohmann::json::parse(live.ReadingsJson());
    EXPECT_EQ(j["overruns"], 2);
    EXPECT_NEAR(j["weighted_peak_percent"].get<double>(), 0.1, 0.01);
    const fs::path wav = dir_ / "gap.wav";
    ASSERT_EQ(live.Export("wav", wav.string()), WebStatus::kDone);
    EXPECT_EQ(wobblemeter::AudioFile(wav.string()).DeclaredFrames(),
              static_cast<long long>(samples.size()));
    EXPECT_EQ(live.LiveGap(10), WebStatus::kUsage);  // stopped
}

// The display's reading of key; null where there is none of that key.
nlohmann::json Reading(const nlohmann::json& display, const char* key) {
    for (const nlohmann::json& r : display["readings"])
        if (r["key"] == key) return r;
    return nullptr;
}

TEST_F(WebEngineTest, DisplayFollowsTheSessionFromWaitingToMeasuring) {
    const std::vector<float> samples = Samples();
    WebEngine live;
    EXPECT_EQ(nlohmann::json::parse(live.DisplayJson())["state"], "idle");
    ASSERT_EQ(live.LiveStart(44100.0, R"({"rpm": 45})"), WebStatus::kDone);
    nlohmann::json d = nlohmann::json::parse(live.DisplayJson());
    EXPECT_EQ(d["state"], "waiting");
    EXPECT_EQ(d["sample_rate"], 44100);
    ASSERT_TRUE(Reading(d, "weighted_peak_percent").is_object());
    EXPECT_TRUE(Reading(d, "weighted_peak_percent")["text"].is_null());
    ASSERT_EQ(live.LivePush(samples.data(), 2 * 44100), WebStatus::kDone);
    EXPECT_EQ(nlohmann::json::parse(live.DisplayJson())["state"], "settling");
    ASSERT_EQ(live.LivePush(samples.data() + 2 * 44100, 8 * 44100), WebStatus::kDone);
    d = nlohmann::json::parse(live.DisplayJson());
    EXPECT_EQ(d["state"], "measuring");
    const std::string weighted = Reading(d, "weighted_peak_percent")["text"];
    EXPECT_NEAR(std::stod(weighted), 0.1, 0.005) << weighted;
    EXPECT_EQ(weighted.substr(weighted.size() - 2), " %");
    for (const nlohmann::json& r : d["readings"]) EXPECT_FALSE(r["key"].is_null()) << r["name"];
    EXPECT_TRUE(Reading(d, "once_per_revolution_percent").is_object());
    EXPECT_NEAR(d["bar"]["hold_percent"].get<double>(), 0.1, 0.005);
    ASSERT_EQ(live.LiveStop(), WebStatus::kDone);
    EXPECT_EQ(nlohmann::json::parse(live.DisplayJson())["state"], "stopped");
}

TEST_F(WebEngineTest, PanelsDrawOpaqueRgbaOfTheSizeAsked) {
    WebEngine engine;
    EXPECT_EQ(engine.Render(0, 300, 1.0), nullptr);
    EXPECT_EQ(engine.Render(300, 9000, 1.0), nullptr);
    EXPECT_FALSE(engine.LastError().empty());
    ASSERT_EQ(engine.MeasureFile(tone_, ""), WebStatus::kDone);
    constexpr int kWidth = 960, kHeight = 640;
    const unsigned char* rgba = engine.Render(kWidth, kHeight, 1.0);
    ASSERT_NE(rgba, nullptr);
    int opaque = 0, dark = 0, coloured = 0;
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const unsigned char* p = rgba + 4 * i;
        if (p[3] == 255) ++opaque;
        if (p[0] < 80 && p[1] < 80 && p[2] < 80) ++dark;
        if (std::abs(p[0] - p[2]) > 60) ++coloured;  // the traces are red and blue, not grey
    }
    EXPECT_EQ(opaque, kWidth * kHeight);
    EXPECT_GT(dark, 2000);  // text and axes
    EXPECT_GT(coloured, 200);
}

}  // namespace
