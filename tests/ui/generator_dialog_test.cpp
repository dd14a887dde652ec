// The generator dialog: fields, exchange in both directions, OK and Cancel, and the values
// the generator would reject.
#include "ui/generator_dialog.h"

#include <fstream>
#include <iterator>

#include "res/resource.h"
#include "tests/ui/ui_fixture.h"

namespace {

constexpr const char* kCaption = "Wow and Flutter generator";

class GeneratorDialogTest : public DialogTest {
protected:
    // Runs the dialog with script acting on it; returns DoModal's result.
    INT_PTR Run(CGeneratorDialog& dialog, const std::function<void(FakeWindow&)>& script) {
        backend.onModal = [&](FakeWindow& window) {
            if (window.layout.caption == kCaption) script(window);
        };
        return dialog.DoModal();
    }

    // Fills every field with a short, valid request writing path.
    static void TypeValidValues(FakeWindow& w, const std::string& path) {
        w.Type(IDC_SAMPLE_RATE, "8000");
        w.Type(IDC_MOD_FREQUENCY, "2.5");
        w.Type(IDC_CENTER_FREQUENCY, "1000");
        w.Type(IDC_LEVEL, "0.5");
        w.Type(IDC_DURATION, "0.25");
        w.Type(IDC_FILE_NAME, path);
    }

    static std::string Contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(GeneratorDialogTest, OpensWithTheDefaultsInItsFields) {
    CGeneratorDialog dialog;
    const INT_PTR result = Run(dialog, [](FakeWindow& w) {
        EXPECT_EQ(w.Text(IDC_SAMPLE_RATE), "44100");
        EXPECT_EQ(w.Text(IDC_MOD_FREQUENCY), "4");
        EXPECT_EQ(w.Text(IDC_LEVEL), "1");
        EXPECT_EQ(w.Text(IDC_CENTER_FREQUENCY), "3150");
        EXPECT_EQ(w.Text(IDC_DURATION), "30");
        EXPECT_EQ(w.Text(IDC_FILE_NAME), "test.wav");
        EXPECT_EQ(w.focus, w.Index(IDOK)) << "the first tab stop, OK, has the focus";
        w.Press(IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(GeneratorDialogTest, OkWithGoodValuesWritesTheFileAndEndsTheDialog) {
    const std::string path = Path("tone.wav");
    CGeneratorDialog dialog;
    const INT_PTR result = Run(dialog, [&](FakeWindow& w) {
        TypeValidValues(w, path);
        w.Press(IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(backend.messages.empty());
    EXPECT_EQ(SizeOf(path), 44 + 2 * 2000) << "0.25 s at 8000 Hz, 16-bit mono";
    EXPECT_EQ(dialog.m_sampleRate, 8000u);
    EXPECT_EQ(dialog.m_modFrequency, 2.5);
    EXPECT_EQ(dialog.m_centerFrequency, 1000.0);
    EXPECT_EQ(dialog.m_level, 0.5);
    EXPECT_EQ(dialog.m_duration, 0.25);
    EXPECT_TRUE(dialog.m_fileName == path.c_str());
}

TEST_F(GeneratorDialogTest, BlanksAroundNumbersAreAccepted) {
    const std::string path = Path("blanks.wav");
    CGeneratorDialog dialog;
    const INT_PTR result = Run(dialog, [&](FakeWindow& w) {
        TypeValidValues(w, path);
        w.Type(IDC_SAMPLE_RATE, " 8000 ");
        w.Type(IDC_DURATION, "\t0.25  ");
        w.focus = w.Index(IDC_DURATION);
        w.Key(afx::DialogKey::kEnter);  // Enter in a field presses the default button, OK
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(SizeOf(path), 44 + 2 * 2000);
}

// Letters in Duration: the message, the focus on Duration with its text selected, the fields
// before it in the exchange order taken over, Duration's value kept, and no file written.
TEST_F(GeneratorDialogTest, FailedExchangeKeepsTheDialogOpenAndWritesNothing) {
    const std::string path = Path("tone.wav");
    CGeneratorDialog dialog;
    bool stayedOpen = false;
    const INT_PTR result = Run(dialog, [&](FakeWindow& w) {
        TypeValidValues(w, path);
        w.Type(IDC_DURATION, "thirty");
        w.Press(IDOK);
        stayedOpen = !w.ended;
        EXPECT_EQ(w.focus, w.Index(IDC_DURATION));
        EXPECT_TRUE(w.selectAll);
        EXPECT_FALSE(Exists(path)) << "OK after a failed exchange must not write";
        EXPECT_TRUE(dialog.m_fileName == path.c_str());
        EXPECT_EQ(dialog.m_modFrequency, 2.5);
        EXPECT_EQ(dialog.m_level, 0.5);
        EXPECT_EQ(dialog.m_sampleRate, 8000u);
        EXPECT_EQ(dialog.m_centerFrequency, 1000.0);
        EXPECT_EQ(dialog.m_duration, 30.0) << "the failing field keeps its old value";

        w.Type(IDC_DURATION, "0.25");  // corrected: the next OK writes and ends
        w.Press(IDOK);
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(backend.messages.size(), 1u);
    EXPECT_EQ(backend.messages[0], "Please enter a number.");
    EXPECT_EQ(SizeOf(path), 44 + 2 * 2000);
}

TEST_F(GeneratorDialogTest, FailedExchangeLeavesAnExistingFileAlone) {
    const std::string path = Path("good.wav");
    { std::ofstream(path) << "a good file"; }
    CGeneratorDialog dialog;
    const INT_PTR result = Run(dialog, [&](FakeWindow& w) {
        TypeValidValues(w, path);
        w.Type(IDC_LEVEL, "1%");
        w.Press(IDOK);
        w.Press(IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(Contents(path), "a good file");
}

// The rate is exchanged after File Name, Mod. Frequency and Level and before Center
// Frequency and Duration, and must be an unsigned 32-bit decimal.
TEST_F(GeneratorDialogTest, RateThatIsNoUnsignedNumberStopsTheExchangeThere) {
    for (const char* rate : {"-1", "2.5", "4294967296", "", "fast"}) {
        SCOPED_TRACE(std::string("rate \"") + rate + '"');
        backend.messages.clear();
        const std::string path = Path("rate.wav");
        CGeneratorDialog dialog;
        Run(dialog, [&](FakeWindow& w) {
            TypeValidValues(w, path);
            w.Type(IDC_SAMPLE_RATE, rate);
            w.Press(IDOK);
            EXPECT_FALSE(w.ended);
            EXPECT_EQ(w.focus, w.Index(IDC_SAMPLE_RATE));
            w.Press(IDCANCEL);
        });
        EXPECT_TRUE(dialog.m_fileName == path.c_str());
        EXPECT_EQ(dialog.m_modFrequency, 2.5);
        EXPECT_EQ(dialog.m_level, 0.5);
        EXPECT_EQ(dialog.m_sampleRate, 44100u);
        EXPECT_EQ(dialog.m_centerFrequency, 3150.0);
        EXPECT_EQ(dialog.m_duration, 30.0);
        ASSERT_EQ(backend.messages.size(), 1u);
        EXPECT_EQ(backend.messages[0], "Please enter a whole number from 0 to 4294967295.");
        EXPECT_FALSE(Exists(path));
    }
}

TEST_F(GeneratorDialogTest, EmptyFieldFailsAndGetsTheFocus) {
    CGeneratorDialog dialog;
    Run(dialog, [&](FakeWindow& w) {
        TypeValidValues(w, Path("empty.wav"));
        w.Type(IDC_MOD_FREQUENCY, "");
        w.Press(IDOK);
        EXPECT_EQ(w.focus, w.Index(IDC_MOD_FREQUENCY));
        w.Press(IDCANCEL);
    });
    EXPECT_EQ(backend.messages.size(), 1u);
    EXPECT_EQ(dialog.m_modFrequency, 4.0);
    EXPECT_EQ(dialog.m_level, 1.0);
    EXPECT_FALSE(Exists(Path("empty.wav")));
}

// Values that parse but that the generator cannot take: the whole message names the field
// and what is allowed; the field is focused with its text selected, the dialog left open and
// nothing written. Any negative duration is refused, however small.
TEST_F(GeneratorDialogTest, ValuesTheGeneratorRejectsAreNamedAndFocused) {
    const struct {
        int field;
        const char* text;
        const char* message;
    } cases[] = {
        {IDC_SAMPLE_RATE, "2147483648",
         "Sample rate 2147483648 Hz is not allowed: it must be 0 to 2147483647 Hz"},
        {IDC_SAMPLE_RATE, "4294967295",
         "Sample rate 4294967295 Hz is not allowed: it must be 0 to 2147483647 Hz"},
        {IDC_DURATION, "-1", "Duration -1 s is not allowed: it must be 0 s or more"},
        {IDC_DURATION, "-0.00001", "Duration -1e-05 s is not allowed: it must be 0 s or more"},
        {IDC_DURATION, "1e9",
         "Duration 1e+09 s at 8000 Hz gives 8e+12 samples: allowed are 0 to 1073741805 "
         "(134217.7256 s at this rate)"},
        {IDC_CENTER_FREQUENCY, "1e300",
         "Center frequency 1e+300 Hz at level 0.5 % over 30 s is too large: |center| x (1 + "
         "|level| / 100) x duration must stay below 1e+300 cycles"},
        {IDC_LEVEL, "1e308",
         "Level 1e+308 % of 1000 Hz over 30 s is too large: |center| x (1 + |level| / 100) x "
         "duration must stay below 1e+300 cycles"},
        {IDC_MOD_FREQUENCY, "-1e300",
         "Modulation frequency -1e+300 Hz over 30 s is too large: |modulation| x duration must "
         "stay below 1e+300 cycles"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        backend.messages.clear();
        const std::string path = Path("rejected.wav");
        CGeneratorDialog dialog;
        Run(dialog, [&](FakeWindow& w) {
            TypeValidValues(w, path);
            w.Type(IDC_DURATION, "30");
            w.Type(c.field, c.text);
            w.focus = w.Index(IDOK);
            w.Press(IDOK);
            EXPECT_FALSE(w.ended);
            EXPECT_EQ(w.focus, w.Index(c.field));
            EXPECT_TRUE(w.selectAll);
            w.Press(IDCANCEL);
        });
        ASSERT_EQ(backend.messages.size(), 1u);
        EXPECT_EQ(backend.messages[0], c.message);
        EXPECT_FALSE(Exists(path));
    }
}

// The edges of what the message allows, 0 and 2147483647 Hz, are accepted and written into
// the header as typed (0.25 s at the largest rate would be too many samples: none are asked).
TEST_F(GeneratorDialogTest, TheRatesAtTheEdgesOfTheAllowedRangeAreWritten) {
    for (const std::string rate : {"2147483647", "0"}) {
        SCOPED_TRACE(rate);
        backend.messages.clear();
        const std::string path = Path("edge.wav");
        CGeneratorDialog dialog;
        const INT_PTR result = Run(dialog, [&](FakeWindow& w) {
            TypeValidValues(w, path);
            w.Type(IDC_SAMPLE_RATE, rate);
            w.Type(IDC_DURATION, "0");
            w.Press(IDOK);
        });
        EXPECT_EQ(result, IDOK);
        EXPECT_TRUE(backend.messages.empty()) << backend.messages.front();
        const std::string header = Contents(path);
        ASSERT_EQ(header.size(), 44u);
        // The sample rate field, little-endian, at byte 24.
        const std::string expected = rate == "0" ? std::string(4, '\0') : "\xff\xff\xff\x7f";
        EXPECT_EQ(header.substr(24, 4), expected);
    }
}

// Every field is decimal: leading zeros are zeros, not octal; hexadecimal, inf and nan are
// no numbers. A rate of 044100 writes what 44100 writes.
TEST_F(GeneratorDialogTest, FieldsAreDecimalOnly) {
    const std::string zeros = Path("zeros.wav");
    const std::string plain = Path("plain.wav");
    for (const auto& [path, values] :
         {std::pair{zeros, std::vector<std::string>{"08000", "02.5", "01000", "00.5", "00.25"}},
          std::pair{plain, std::vector<std::string>{"8000", "2.5", "1000", "0.5", "0.25"}}}) {
        CGeneratorDialog dialog;
        const INT_PTR result = Run(dialog, [&](FakeWindow& w) {
            w.Type(IDC_SAMPLE_RATE, values[0]);
            w.Type(IDC_MOD_FREQUENCY, values[1]);
            w.Type(IDC_CENTER_FREQUENCY, values[2]);
            w.Type(IDC_LEVEL, values[3]);
            w.Type(IDC_DURATION, values[4]);
            w.Type(IDC_FILE_NAME, path);
            w.Press(IDOK);
        });
        EXPECT_EQ(result, IDOK) << path;
    }
    EXPECT_EQ(SizeOf(zeros), 44 + 2 * 2000);
    EXPECT_EQ(Contents(zeros), Contents(plain));

    for (const int field :
         {IDC_SAMPLE_RATE, IDC_MOD_FREQUENCY, IDC_CENTER_FREQUENCY, IDC_LEVEL, IDC_DURATION}) {
        for (const char* text : {"0x10", "inf", "nan", "0x1p3", "infinity"}) {
            SCOPED_TRACE(std::to_string(field) + " " + text);
            backend.messages.clear();
            CGeneratorDialog dialog;
            Run(dialog, [&](FakeWindow& w) {
                TypeValidValues(w, Path("never.wav"));
                w.Type(field, text);
                w.Press(IDOK);
                EXPECT_FALSE(w.ended);
                EXPECT_EQ(w.focus, w.Index(field));
                w.Press(IDCANCEL);
            });
            ASSERT_EQ(backend.messages.size(), 1u);
            EXPECT_EQ(backend.messages[0], field == IDC_SAMPLE_RATE
                                               ? "Please enter a whole number from 0 to 4294967295."
                                               : "Please enter a number.");
        }
    }
    EXPECT_FALSE(Exists(Path("never.wav")));
}

TEST_F(GeneratorDialogTest, CancelEscapeAndCloseEndTheDialogWithoutWriting) {
    const std::string path = Path("never.wav");
    const std::function<void(FakeWindow&)> ways[] = {
        [](FakeWindow& w) { w.Press(IDCANCEL); },
        [](FakeWindow& w) { w.Key(afx::DialogKey::kEscape); },
        [](FakeWindow& w) { w.events->OnCloseRequest(); },
        [](FakeWindow& w) {  // Enter while Cancel has the focus presses Cancel
            w.focus = w.Index(IDCANCEL);
            w.Key(afx::DialogKey::kEnter);
        },
    };
    for (const auto& way : ways) {
        CGeneratorDialog dialog;
        const INT_PTR result = Run(dialog, [&](FakeWindow& w) {
            TypeValidValues(w, path);
            way(w);
        });
        EXPECT_EQ(result, IDCANCEL);
    }
    EXPECT_FALSE(Exists(path));
    EXPECT_EQ(backend.loopsLeftRunning, 0);
}

TEST_F(GeneratorDialogTest, FileThatCannotBeOpenedEndsTheProgramWithStatusOne) {
    const std::string path = Path("missing-directory/tone.wav");
    EXPECT_EXIT(
        {
            CGeneratorDialog dialog;
            Run(dialog, [&](FakeWindow& w) {
                TypeValidValues(w, path);
                w.Press(IDOK);
            });
            std::exit(0);
        },
        ::testing::ExitedWithCode(1), "");
}

}  // namespace
