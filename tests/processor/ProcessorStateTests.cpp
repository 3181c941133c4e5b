#include "ProcessorTestHelpers.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>

using namespace ProcessorTest;

namespace
{
constexpr auto hangBound = std::chrono::seconds (10);

const std::string freshText = declaration + "<QUOLBANE>"
                                            R"(<PARAM id="character" value="2.0"/>)"
                                            R"(<PARAM id="damping" value="50.0"/>)"
                                            R"(<PARAM id="decay" value="2.0"/>)"
                                            R"(<PARAM id="highcut" value="9000.0"/>)"
                                            R"(<PARAM id="lowcut" value="100.0"/>)"
                                            R"(<PARAM id="mix" value="35.0"/>)"
                                            R"(<PARAM id="modulation" value="50.0"/>)"
                                            R"(<PARAM id="predelay" value="20.0"/>)"
                                            R"(<PARAM id="size" value="100.0"/>)"
                                            R"(<PARAM id="width" value="100.0"/>)"
                                            "</QUOLBANE>";

// The saved "PARAM" element of each parameter, keyed by ID.
std::map<std::string, std::string> savedEntries (const std::string& text)
{
    std::map<std::string, std::string> entries;
    for (auto pos = text.find ("<PARAM "); pos != std::string::npos; pos = text.find ("<PARAM ", pos + 1))
    {
        const auto end = text.find ("/>", pos);
        const auto element = text.substr (pos, end + 2 - pos);
        const auto idStart = element.find ("id=\"");
        if (idStart == std::string::npos)
            continue;
        const auto idEnd = element.find ('"', idStart + 4);
        entries[element.substr (idStart + 4, idEnd - idStart - 4)] = element;
    }
    return entries;
}

juce::MemoryBlock readReproducer (const juce::File& file)
{
    juce::MemoryBlock block;
    EXPECT_TRUE (file.loadFileAsData (block)) << file.getFullPathName();
    return block;
}

juce::File reproducerFolder()
{
    return juce::File (QUOLBANE_RESTORE_DATA_DIR);
}

bool onGrid (QuolbaneProcessor& p, const char* id, float value)
{
    const auto& range = parameter (p, id).getNormalisableRange();
    if (!(value >= range.start && value <= range.end))
        return false;
    const float steps = (value - range.start) / range.interval;
    return std::abs (steps - std::round (steps)) < 1e-3f * std::max (1.0f, steps);
}

// Everything a restore may leave behind: finite, in range, on the grid, and the
// tree state agreeing with the parameters.
void expectSaneParameters (QuolbaneProcessor& p)
{
    for (const auto* id : parameterIds)
    {
        const float value = plain (p, id);
        EXPECT_TRUE (onGrid (p, id, value)) << id << " = " << value;
        EXPECT_EQ (raw (p, id), value) << id;
    }
    EXPECT_GE (p.getCharacterIndex(), 0);
    EXPECT_LT (p.getCharacterIndex(), numCharacters);
    EXPECT_TRUE (p.valueTreeState.state.getType().toString().equalsIgnoreCase ("QUOLBANE"));
}
}

TEST (StateSave, FreshBlobLayout)
{
    QuolbaneProcessor p;
    const auto block = save (p);
    const auto* bytes = static_cast<const unsigned char*> (block.getData());

    ASSERT_GT (block.getSize(), 9u);
    EXPECT_EQ (bytes[0], 0x56);
    EXPECT_EQ (bytes[1], 0x43);
    EXPECT_EQ (bytes[2], 0x32);
    EXPECT_EQ (bytes[3], 0x21);
    EXPECT_EQ (juce::ByteOrder::littleEndianInt (bytes + 4), block.getSize() - 9);
    EXPECT_EQ (bytes[block.getSize() - 1], 0);
    EXPECT_EQ (savedText (p), freshText);

    // The text holds no other zero byte and no line break.
    const std::string text = savedText (p);
    EXPECT_EQ (text.find ('\0'), std::string::npos);
    EXPECT_EQ (text.find ('\n'), std::string::npos);
    EXPECT_EQ (text.find ('\r'), std::string::npos);

    // Saving twice gives the same bytes, and a save replaces the block's former contents.
    juce::MemoryBlock reused (4096, true);
    p.getStateInformation (reused);
    EXPECT_EQ (reused, block);
}

TEST (StateSave, NumbersAsJuceWritesThem)
{
    // Whole numbers get one decimal; others the double nearest the stored float, 16 significant
    // digits, trailing zeros dropped.
    struct Case
    {
        const char* id;
        float value;
        const char* text;
    };

    const Case cases[]{
        { "width", 0.1f, "0.1000000014901161" },
        { "width", 0.3f, "0.300000011920929" },
        { "width", 99.9f, "99.90000152587891" },
        { "mix", 61.5f, "61.5" },
        { "mix", 0.0f, "0.0" },
        { "decay", 3.47f, "3.470000028610229" },
        { "decay", 0.2f, "0.2000000029802322" },
        { "highcut", 14000.0f, "14000.0" },
        { "predelay", 250.0f, "250.0" },
        { "character", 9.0f, "9.0" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.id);
        QuolbaneProcessor p;
        setPlain (p, c.id, c.value);
        EXPECT_EQ (savedEntries (savedText (p))[c.id], param (c.id, c.text));
    }
}

TEST (StateRestore, RoundTripRestoresEveryParameterAndTheSameBytes)
{
    QuolbaneProcessor p;
    setAll (p, otherValues);
    const auto saved = save (p);
    const auto savedValues = allPlainValues (p);

    // Every parameter elsewhere, including the character.
    setAll (p, { 1.0f, 5.0f, 30.0f, 11.0f, 0.0f, 99.0f, 1.0f, 55.5f, 21.0f, 1001.0f });
    ASSERT_NE (allPlainValues (p), savedValues);

    restore (p, saved);
    EXPECT_EQ (allPlainValues (p), savedValues);
    for (const auto* id : parameterIds)
        EXPECT_EQ (raw (p, id), plain (p, id)) << id;
    EXPECT_EQ (save (p), saved);

    // Into a fresh instance as well.
    QuolbaneProcessor q;
    restore (q, saved);
    EXPECT_EQ (allPlainValues (q), savedValues);
    EXPECT_EQ (save (q), saved);
}

namespace
{
struct BadBlob
{
    std::string name;
    juce::MemoryBlock blob;
};

std::vector<BadBlob> ignoredBlobs()
{
    const auto valid = stateText (param ("mix", "60.0"));
    std::vector<BadBlob> cases;

    cases.push_back ({ "8 bytes", []
                       {
                           juce::MemoryBlock b;
                           appendLittleEndian32 (b, magic);
                           appendLittleEndian32 (b, 40);
                           return b;
                       }() });

    cases.push_back ({ "reversed magic", [&]
                       {
                           auto b = makeBlob (valid);
                           std::reverse (static_cast<char*> (b.getData()), static_cast<char*> (b.getData()) + 4);
                           return b;
                       }() });
    cases.push_back ({ "other magic", [&]
                       {
                           auto b = makeBlob (valid);
                           static_cast<char*> (b.getData())[0] = 'X';
                           return b;
                       }() });
    cases.push_back ({ "length 0", makeBlob (valid, 0) });
    cases.push_back ({ "length with the top bit set", makeBlob (valid, static_cast<std::int64_t> (0x80000000ULL | valid.size())) });
    cases.push_back ({ "length 0xffffffff", makeBlob (valid, 0xffffffffLL) });
    cases.push_back ({ "header and terminator only", makeBlob ("", 1) });
    cases.push_back ({ "text cut in the middle of an element",
                       makeBlob (valid, static_cast<std::int64_t> (valid.find ("value="))) });
    cases.push_back (
        { "data ends in the middle of an element",
          makeBlob (valid.substr (0, valid.size() - 15), static_cast<std::int64_t> (valid.size()), false) });
    cases.push_back ({ "zero byte inside an element", [&]
                       {
                           auto text = valid;
                           text[text.find ("60.0")] = '\0';
                           return makeBlob (text);
                       }() });
    cases.push_back ({ "wrong root", makeBlob (stateText (param ("mix", "60.0"), "QUOLBANX")) });
    cases.push_back ({ "root is a parameter entry", makeBlob (declaration + param ("mix", "60.0")) });
    cases.push_back ({ "longer root", makeBlob (stateText (param ("mix", "60.0"), "QUOLBANE2")) });
    cases.push_back ({ "no element at all", makeBlob ("just some text") });
    cases.push_back ({ "declaration only", makeBlob (declaration) });
    cases.push_back ({ "two roots", makeBlob (valid + "<QUOLBANE/>") });
    cases.push_back ({ "unclosed root", makeBlob (declaration + "<QUOLBANE>" + param ("mix", "60.0")) });
    cases.push_back ({ "DOCTYPE before a valid root",
                       makeBlob (std::string ("<!DOCTYPE QUOLBANE>") + valid.substr (declaration.size())) });
    cases.push_back (
        { "processing instruction in the root", makeBlob (stateText (param ("mix", "60.0") + "<?do something?>")) });
    cases.push_back ({ "undefined entity in a value", makeBlob (stateText (param ("mix", "&sixty;"))) });
    cases.push_back ({ "invalid UTF-8 in a value", makeBlob (stateText (param ("mix", "60\xff"))) });
    cases.push_back ({ "truncated UTF-8 at the end", makeBlob (valid + "\xe2\x82") });
    cases.push_back ({ "nesting deeper than the bound", []
                       {
                           std::string nested;
                           for (int i = 0; i < 300; ++i)
                               nested += "<a>";
                           for (int i = 0; i < 300; ++i)
                               nested += "</a>";
                           return makeBlob (stateText (param ("mix", "60.0") + nested));
                       }() });
    cases.push_back ({ "5 MB attribute", makeBlob (stateText (param ("mix", "60.0") + "<BIG data=\"" +
                                                              std::string (5 * 1024 * 1024, 'x') + "\"/>")) });
    cases.push_back ({ "text just over 64 KiB", []
                       {
                           const std::string suffix = "\"/>";
                           const auto fixed = stateText (param ("mix", "60.0") + "<PAD data=\"" + suffix).size();
                           return makeBlob (stateText (param ("mix", "60.0") + "<PAD data=\"" +
                                                       std::string (64 * 1024 + 1 - fixed, 'x') + suffix));
                       }() });
    return cases;
}
}

TEST (StateRestore, BadBlobsAreIgnored)
{
    QuolbaneProcessor p;
    setAll (p, otherValues);
    const auto before = save (p);
    const auto values = allPlainValues (p);

    // Sizes that cannot hold a header, with and without data.
    p.setStateInformation (nullptr, 0);
    p.setStateInformation (nullptr, 100);
    p.setStateInformation (before.getData(), 0);
    p.setStateInformation (before.getData(), 8);
    p.setStateInformation (before.getData(), -1);
    p.setStateInformation (before.getData(), std::numeric_limits<int>::min());
    EXPECT_EQ (allPlainValues (p), values);
    EXPECT_EQ (save (p), before);

    for (const auto& c : ignoredBlobs())
    {
        SCOPED_TRACE (c.name);
        Watchdog watchdog (c.name, hangBound);
        restore (p, c.blob);
        EXPECT_EQ (allPlainValues (p), values);
        EXPECT_EQ (save (p), before);
    }
}

TEST (StateRestore, AcceptedOnlyWhenItsOwnSaveCanBeRestored)
{
    // JUCE writes '>' as "&gt;" and non-ASCII characters as "&#...;", so a text can grow when
    // it is saved again. What the plug-in accepts, it must be able to read back.
    auto withPad = [] (const std::string& pad)
    { return makeBlob (stateText (param ("mix", "60.0") + "<PAD data=\"" + pad + "\"/>")); };
    const auto fixed = stateText (param ("mix", "60.0") + "<PAD data=\"\"/>").size();
    const std::size_t cap = 64 * 1024;

    struct Case
    {
        const char* name;
        juce::MemoryBlock blob;
        bool accepted;
    };

    const Case cases[]{
        { "plain padding 1 KiB under the cap", withPad (std::string (cap - 1024 - fixed, 'x')), true },
        { "plain padding up to the cap", withPad (std::string (cap - fixed, 'x')), false },
        { "10000 '>' (40 KB when written)", withPad (std::string (10000, '>')), true },
        { "20000 '>' (80 KB when written)", withPad (std::string (20000, '>')), false },
        { "4000 euro signs (28 KB when written)",
          withPad (
              []
              {
                  std::string s;
                  for (int i = 0; i < 4000; ++i)
                      s += "\xe2\x82\xac";
                  return s;
              }()),
          true },
        { "12000 euro signs (84 KB when written)",
          withPad (
              []
              {
                  std::string s;
                  for (int i = 0; i < 12000; ++i)
                      s += "\xe2\x82\xac";
                  return s;
              }()),
          false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        QuolbaneProcessor p;
        setAll (p, otherValues);
        const auto before = save (p);
        restore (p, c.blob);

        if (!c.accepted)
        {
            EXPECT_EQ (save (p), before);
            continue;
        }

        EXPECT_EQ (plain (p, "mix"), 60.0f);
        const auto saved = save (p);
        EXPECT_LE (saved.getSize() - 9, cap);

        QuolbaneProcessor q;
        restore (q, saved);
        EXPECT_EQ (allPlainValues (q), allPlainValues (p));
        EXPECT_EQ (save (q), saved);
    }
}

TEST (StateRestore, EveryReproducerIsIgnoredInTime)
{
    const auto files = reproducerFolder().findChildFiles (juce::File::findFiles, false, "*.bin");
    ASSERT_EQ (files.size(), 14) << reproducerFolder().getFullPathName();

    for (const auto& file : files)
    {
        if (file.getFileName() == "nan-values.bin")
            continue; // well-formed: read as zeros, see NanValuesReproducerRestoresASoundingPlugin

        SCOPED_TRACE (file.getFileName());
        QuolbaneProcessor p;
        setAll (p, otherValues);
        const auto before = save (p);

        const auto blob = readReproducer (file);
        {
            Watchdog watchdog (file.getFileName().toStdString(), hangBound);
            restore (p, blob);
        }
        EXPECT_EQ (allPlainValues (p), otherValues);
        EXPECT_EQ (save (p), before);
    }
}

TEST (StateRestore, NanValuesReproducerRestoresASoundingPlugin)
{
    QuolbaneProcessor p;
    p.prepareToPlay (48000.0, 256);
    {
        Watchdog watchdog ("nan-values.bin", hangBound);
        restore (p, readReproducer (reproducerFolder().getChildFile ("nan-values.bin")));
    }

    EXPECT_EQ (plain (p, "mix"), 0.0f);
    EXPECT_EQ (plain (p, "decay"), 0.2f);
    EXPECT_EQ (plain (p, "size"), 25.0f);
    expectSaneParameters (p);
    EXPECT_EQ (savedText (p).find ("nan"), std::string::npos);

    // The wet path is silent at mix 0; with some mix the restored plug-in still sounds.
    setPlain (p, "mix", 50.0f);
    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    float peak = 0.0f;
    for (int b = 0; b < 20; ++b)
    {
        buffer.clear();
        if (b == 0)
            buffer.setSample (0, 0, 1.0f);
        p.processBlock (buffer, midi);
        if (b > 0)
            peak = std::max (peak, buffer.getMagnitude (0, 256));
        for (int i = 0; i < 256; ++i)
            ASSERT_TRUE (std::isfinite (buffer.getSample (0, i)));
    }
    EXPECT_GT (peak, 0.0f);
}

TEST (StateRestore, AcceptedOddBlobs)
{
    const auto text = stateText (param ("mix", "60.0"));
    const auto bare = "<QUOLBANE>" + param ("mix", "60.0") + "</QUOLBANE>";

    const BadBlob cases[]{
        { "length larger than the data", makeBlob (text, 1000000) },
        { "length larger than the data, no terminator", makeBlob (text, 1000000, false) },
        { "no terminator", makeBlob (text, -1, false) },
        { "no declaration", makeBlob (bare) },
        { "bytes after the text are not read",
          [&]
          {
              auto b = makeBlob (text);
              b.append ("\xff\xfe<!DOCTYPE <<<", 15);
              return b;
          }() },
        { "length shorter than the data ends the text",
          [&]
          {
              auto b = makeBlob (text + "<?garbage", static_cast<std::int64_t> (text.size()));
              return b;
          }() },
        { "whitespace, comment and CDATA around the entries",
          makeBlob (declaration + "\n<QUOLBANE>\r\n\t<!-- saved -->" + param ("mix", "60.0") +
                    "<![CDATA[x]]> text </QUOLBANE>\n") },
        { "entities and character references", makeBlob (stateText ("<PARAM id=\"&#109;ix\" value=\"6&#x30;.0\"/>"
                                                                    "<NOTE text=\"&lt;&gt;&amp;&apos;&quot;\"/>")) },
        { "other parameter element names", makeBlob (stateText ("<P id=\"mix\" value=\"60.0\"/>")) },
        { "duplicate entries: the last one counts",
          makeBlob (stateText (param ("mix", "20.0") + param ("mix", "60.0"))) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        QuolbaneProcessor p;
        {
            Watchdog watchdog (c.name, hangBound);
            restore (p, c.blob);
        }
        EXPECT_EQ (plain (p, "mix"), 60.0f);
        EXPECT_EQ (plain (p, "size"), 100.0f);
        expectSaneParameters (p);

        // What was restored is saved and restored again to the same values.
        const auto resaved = save (p);
        QuolbaneProcessor q;
        restore (q, resaved);
        EXPECT_EQ (allPlainValues (q), allPlainValues (p));
    }
}

TEST (StateRestore, RootTagComparedWithoutCase)
{
    QuolbaneProcessor p;
    restore (p, makeBlob (stateText (param ("mix", "60.0"), "Quolbane")));
    EXPECT_EQ (plain (p, "mix"), 60.0f);

    const auto text = savedText (p);
    EXPECT_EQ (text.rfind (declaration + "<Quolbane>", 0), 0u) << text;
    EXPECT_EQ (text.substr (text.size() - 11), "</Quolbane>");

    // Later restores compare against the restored type, again without case.
    restore (p, makeBlob (stateText (param ("mix", "70.0"), "QUOLBANE")));
    EXPECT_EQ (plain (p, "mix"), 70.0f);
    restore (p, makeBlob (stateText (param ("mix", "80.0"), "quolBANE")));
    EXPECT_EQ (plain (p, "mix"), 80.0f);
    EXPECT_EQ (savedText (p).rfind (declaration + "<quolBANE>", 0), 0u);
    restore (p, makeBlob (stateText (param ("mix", "90.0"), "QUOLBANEX")));
    EXPECT_EQ (plain (p, "mix"), 80.0f);
}

TEST (StateRestore, RootAttributesAreKept)
{
    QuolbaneProcessor p;
    restore (p, makeBlob (declaration + "<QUOLBANE version=\"3\" by=\"me\">" + param ("mix", "50.0") + "</QUOLBANE>"));
    EXPECT_EQ (plain (p, "mix"), 50.0f);
    EXPECT_EQ (savedText (p).rfind (declaration + "<QUOLBANE version=\"3\" by=\"me\">", 0), 0u);
}

TEST (StateRestore, ValuesAreClampedSnappedAndReadAsNumbers)
{
    struct Case
    {
        const char* id;
        const char* text;
        float restored;
        const char* savedAs; // nullptr: not checked
    };

    const Case cases[]{
        // Infinities clamp to the range ends.
        { "mix", "inf", 100.0f, "100.0" },
        { "mix", "-inf", 0.0f, "0.0" },
        { "highcut", "INF", 20000.0f, "20000.0" },
        { "decay", "-Inf", 0.2f, "0.2000000029802322" },
        { "character", "inf", 9.0f, "9.0" },
        { "character", "-inf", 0.0f, "0.0" },
        { "lowcut", "1e9", 1000.0f, "1000.0" },
        { "highcut", "-1e400", 1000.0f, "1000.0" },
        // Exponents too long for JUCE's reader still give infinity or zero.
        { "mix", "4441e39444444444444444444440.0", 100.0f, "100.0" },
        { "mix", "2e-99999999999999", 0.0f, nullptr },
        { "size", "1.5E+0000000000002", 150.0f, "1.5E+0000000000002" },
        // NaN reads as 0 (the entry then holds "0"), then clamps.
        { "mix", "nan", 0.0f, "0" },
        { "size", "nan", 25.0f, "25.0" },
        { "decay", "NaN", 0.2f, "0.2000000029802322" },
        { "character", "nan", 0.0f, "0" },
        { "mix", "-nan", 0.0f, "0" },
        { "mix", "+NAN", 0.0f, "0" },
        { "mix", " nan", 0.0f, "0" },
        { "highcut", "nanometre", 1000.0f, "1000.0" },
        // Out of range and between steps.
        { "size", "10", 25.0f, "25.0" },
        { "size", "1000", 200.0f, "200.0" },
        { "character", "7.4", 7.0f, "7.0" },
        { "character", "12", 9.0f, "9.0" },
        { "character", "-3", 0.0f, "0.0" },
        { "mix", "35.06", 35.1f, "35.10000228881836" },
        { "lowcut", "99.6", 100.0f, nullptr },
        { "decay", "2.3456", 2.35f, "2.349999904632568" },
        // Not beginning with a number reads as 0; a number followed by text reads as that number.
        // A text that already reads as the value in force is written back as it came.
        { "mix", "", 0.0f, "" },
        { "mix", "abc", 0.0f, "abc" },
        { "predelay", "12.5ms", 12.5f, "12.5ms" },
        { "width", "  40", 40.0f, "  40" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (std::string (c.id) + "=\"" + c.text + "\"");
        QuolbaneProcessor p;
        restore (p, makeBlob (stateText (param (c.id, c.text))));
        EXPECT_NEAR (plain (p, c.id), c.restored, 1e-5f);
        expectSaneParameters (p);

        const auto entries = savedEntries (savedText (p));
        if (c.savedAs != nullptr)
        {
            EXPECT_EQ (entries.at (c.id), param (c.id, c.savedAs));
        }
        EXPECT_EQ (entries.size(), 10u);

        // Whatever was saved restores to the same value.
        QuolbaneProcessor q;
        restore (q, save (p));
        EXPECT_EQ (allPlainValues (q), allPlainValues (p));
    }
}

TEST (StateRestore, MissingValueMeansTheDefault)
{
    for (float mixBefore : { 60.0f, 35.0f })
    {
        SCOPED_TRACE (mixBefore);
        QuolbaneProcessor p;
        setPlain (p, "mix", mixBefore);
        restore (p, makeBlob (stateText ("<PARAM id=\"mix\"/>" + param ("size", "50.0"))));
        EXPECT_EQ (plain (p, "mix"), 35.0f);
        EXPECT_EQ (plain (p, "size"), 50.0f);

        // The next save carries a value for mix, in the entry's place.
        const auto text = savedText (p);
        EXPECT_EQ (text.find ("<QUOLBANE>" + param ("mix", "35.0") + param ("size", "50.0")), declaration.size())
            << text;
    }
}

TEST (StateRestore, ForeignEntriesAreKeptAndWrittenBack)
{
    const std::string foreign = R"(<PARAM id="colour" value="7"/>)"
                                R"(<EXTRA a="1" b="two"><INNER c="3"/><INNER/></EXTRA>)"
                                R"(<PARAM value="3"/>)";

    QuolbaneProcessor p;
    setAll (p, otherValues);
    const auto before = savedEntries (savedText (p));

    restore (p, makeBlob (stateText (foreign + param ("mix", "60.0"))));
    EXPECT_EQ (plain (p, "mix"), 60.0f);

    std::string expected = declaration + "<QUOLBANE>" + foreign + param ("mix", "60.0");
    for (const auto* id : sortedIds)
        if (std::string (id) != "mix")
            expected += before.at (id);
    expected += "</QUOLBANE>";
    EXPECT_EQ (savedText (p), expected);

    // The foreign entries survive a second round trip untouched.
    QuolbaneProcessor q;
    restore (q, save (p));
    EXPECT_EQ (savedText (q), expected);
}

TEST (StateRestore, BlobWithOnlyMix)
{
    QuolbaneProcessor p;
    setAll (p, otherValues);
    const auto before = savedEntries (savedText (p));

    restore (p, makeBlob (stateText (param ("mix", "60.0"))));

    auto expectedValues = otherValues;
    expectedValues[1] = 60.0f;
    EXPECT_EQ (allPlainValues (p), expectedValues);

    // The mix entry first, then the nine others in ID order, each with its current value.
    std::string expected = declaration + "<QUOLBANE>" + param ("mix", "60.0");
    for (const auto* id : sortedIds)
        if (std::string (id) != "mix")
            expected += before.at (id);
    expected += "</QUOLBANE>";
    EXPECT_EQ (savedText (p), expected);

    // An empty root changes nothing and completes the tree.
    QuolbaneProcessor q;
    setAll (q, otherValues);
    const auto full = savedText (q);
    restore (q, makeBlob (stateText ("")));
    EXPECT_EQ (allPlainValues (q), otherValues);
    EXPECT_EQ (savedEntries (savedText (q)), savedEntries (full));
}

TEST (StateRestore, NestingUpToTheBoundIsAccepted)
{
    // The root is level 1; foreign children add the levels below it.
    for (int levels : { 2, 200, 256, 257 })
    {
        SCOPED_TRACE (levels);
        std::string nested;
        for (int i = 1; i < levels; ++i)
            nested += "<a>";
        for (int i = 1; i < levels; ++i)
            nested += "</a>";

        QuolbaneProcessor p;
        restore (p, makeBlob (stateText (nested + param ("mix", "60.0"))));
        EXPECT_EQ (plain (p, "mix"), levels <= 256 ? 60.0f : 35.0f);
    }
}

TEST (StateRestore, AnyInputUpToTheCapFinishesQuickly)
{
    // A bounded fuzz run: mutated real blobs and hostile fragments. Nothing may crash or hang,
    // and whatever a restore leaves is a valid state that survives its own round trip.
    QuolbaneProcessor source;
    setAll (source, otherValues);
    const std::string seeds[]{
        savedText (source),
        freshText,
        stateText (R"(<PARAM id="colour" value="7"/><EXTRA a="1"><INNER/></EXTRA>)" + param ("mix", "60.0")),
    };

    const std::string tokens[]{ "<",
                                ">",
                                "<?",
                                "?>",
                                "<!DOCTYPE a>",
                                "<!ENTITY e \"x\">",
                                "&",
                                "&#x",
                                "&#",
                                ";",
                                "&e;",
                                "\xff",
                                "\xc3",
                                "\xe2\x82",
                                "\xf0\x9f",
                                "\"",
                                "'",
                                "=",
                                "<a>",
                                "</a>",
                                "<![CDATA[",
                                "]]>",
                                "<!--",
                                "-->",
                                "nan",
                                "inf",
                                "<?xml version=\"1.0\"?>",
                                std::string (1, '\0'),
                                "\xed\xa0\x80",
                                "\xc0\xaf",
                                "<PARAM id=\"size\" value=\"1e99\"/>" };

    std::mt19937 random (20240611);
    auto pick = [&random] (std::size_t n)
    { return static_cast<std::size_t> (random() % std::max<std::size_t> (n, 1)); };

    QuolbaneProcessor p;
    Watchdog watchdog ("the fuzz run", std::chrono::seconds (120));

    int changed = 0, unchanged = 0;
    for (int iteration = 0; iteration < 20000; ++iteration)
    {
        std::string text = seeds[pick (std::size (seeds))];
        const int edits = 1 + static_cast<int> (pick (3));
        for (int e = 0; e < edits; ++e)
        {
            switch (pick (7))
            {
                case 5:
                case 6:
                {
                    // A new number, or a text that is not one, in some "value" attribute.
                    const std::string numbers[]{
                        "1e9", "-3", "7.4",  "nan",   "-inf",
                        "abc", "",   "0x10", "35.06", std::to_string (static_cast<int> (random() % 30000) - 5000)
                    };
                    const auto at = text.find ("value=\"", pick (text.size()));
                    if (at != std::string::npos)
                    {
                        const auto start = at + 7;
                        const auto end = text.find ('"', start);
                        if (end != std::string::npos)
                            text.replace (start, end - start, numbers[pick (std::size (numbers))]);
                    }
                    break;
                }
                case 0:
                    if (!text.empty())
                        text[pick (text.size())] = static_cast<char> (random());
                    break;
                case 1:
                    text.insert (pick (text.size() + 1), tokens[pick (std::size (tokens))]);
                    break;
                case 2:
                    if (!text.empty())
                        text.erase (pick (text.size()), 1 + pick (16));
                    break;
                case 3:
                    text.resize (pick (text.size() + 1));
                    break;
                default:
                {
                    // A repeated fragment, up to just over the cap.
                    const auto& token = tokens[pick (std::size (tokens))];
                    std::string run;
                    const auto count = pick (70000 / std::max<std::size_t> (token.size(), 1));
                    for (std::size_t i = 0; i < count; ++i)
                        run += token;
                    text.insert (pick (text.size() + 1), run);
                    break;
                }
            }
        }

        std::int64_t length = static_cast<std::int64_t> (text.size());
        switch (pick (6))
        {
            case 0:
                length = static_cast<std::int64_t> (pick (text.size() + 1));
                break;
            case 1:
                length = static_cast<std::int64_t> (text.size() + pick (100000));
                break;
            case 2:
                length = static_cast<std::int64_t> (random());
                break;
            default:
                break;
        }

        auto blob = makeBlob (text, length, pick (2) == 0);
        const auto before = save (p);
        restore (p, blob);
        ++(save (p) == before ? unchanged : changed);

        SCOPED_TRACE (iteration);
        const auto values = allPlainValues (p);
        for (std::size_t i = 0; i < parameterIds.size(); ++i)
            ASSERT_TRUE (onGrid (p, parameterIds[i], values[i])) << parameterIds[i] << " = " << values[i];
        ASSERT_TRUE (p.valueTreeState.state.getType().toString().equalsIgnoreCase ("QUOLBANE"));

        if (iteration % 10 == 0)
        {
            QuolbaneProcessor q;
            restore (q, save (p));
            ASSERT_EQ (allPlainValues (q), values);
        }
    }

    // Both paths ran: restores that took effect and restores that were refused.
    EXPECT_GT (changed, 2000);
    EXPECT_GT (unchanged, 1000);
}
