// The command line's sixth field: cutting it off field 5, and reading the packing from it.

#include "app/command_line.h"
#include "app/packing_field.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(PackingField, ChoosesShelvesOrTightPackingAndRefusesAnythingElse) {
    struct Case {
        const char* field; // null: no sixth field
        bool accepted, tight;
        int resolution, padding;
    };
    const Case cases[] = {
        {nullptr, true, false, 1024, 4},
        {"", true, false, 1024, 4},
        {"-tightpack", true, true, 1024, 4},
        {"-tightpack=2048/8", true, true, 2048, 8},
        {"-tightpack=16/0", true, true, 16, 0},
        {"-tightpack=8192/2048", true, true, 8192, 2048},
        {"-tightpack=0512/04", true, true, 512, 4},
        {"-TIGHTPACK", false, false, 0, 0},
        {"-tightpack ", false, false, 0, 0},
        {"tightpack", false, false, 0, 0},
        {"-tightpack=", false, false, 0, 0},
        {"-tightpack=2048", false, false, 0, 0},
        {"-tightpack=2048/", false, false, 0, 0},
        {"-tightpack=/8", false, false, 0, 0},
        {"-tightpack=2048/8x", false, false, 0, 0},
        {"-tightpack=2048x8", false, false, 0, 0},
        {"-tightpack=15/1", false, false, 0, 0},     // below the smallest texture
        {"-tightpack=8193/4", false, false, 0, 0},   // above the largest
        {"-tightpack=64/17", false, false, 0, 0},    // padding over a quarter of the texture
        {"-tightpack=999999/4", false, false, 0, 0}, // too many digits to be a size
        {"-tightpack=+64/4", false, false, 0, 0},
        {"-notlive", false, false, 0, 0},
    };
    for (const Case& c : cases) {
        EngineOptions options;
        options.tightPack = !c.tight;
        options.packResolution = 77;
        options.packPadding = 7;
        EngineOptions before = options;
        const std::string name = c.field ? c.field : "(none)";
        ASSERT_EQ(parse_packing_field(c.field, options), c.accepted) << name;
        if (!c.accepted) {
            // A refused field changes nothing.
            EXPECT_EQ(options.tightPack, before.tightPack) << name;
            EXPECT_EQ(options.packResolution, before.packResolution) << name;
            EXPECT_EQ(options.packPadding, before.packPadding) << name;
            continue;
        }
        EXPECT_EQ(options.tightPack, c.tight) << name;
        EXPECT_EQ(options.packResolution, c.resolution) << name;
        EXPECT_EQ(options.packPadding, c.padding) << name;
    }
}

TEST(PackingField, FieldFiveEndsAtTheCommaOfASixthField) {
    struct Case {
        const char* line;
        const char* batch;
        const char* packing; // null: none
    };
    const Case cases[] = {
        {"\"m.obj,s.bin,,,-notlive\"", "-notlive", nullptr},
        {"\"m.obj,s.bin,,,-notlive,-tightpack=2048/8\"", "-notlive", "-tightpack=2048/8"},
        {"\"m.obj,s.bin,,,,-tightpack\"", "", "-tightpack"},
        {"\"m.obj,s.bin,,,-notlive,\"", "-notlive", ""},
        // A seventh field stays in the sixth, which then names no packing.
        {"\"m.obj,s.bin,,,-notlive,-tightpack,x\"", "-notlive", "-tightpack,x"},
    };
    for (const Case& c : cases) {
        std::vector<char> text(c.line, c.line + std::strlen(c.line) + 1);
        CommandLineFields fields;
        ASSERT_EQ(cutCommandLine(text.data(), fields), CommandLineShape::Complete) << c.line;
        EXPECT_STREQ(fields.objPath, "m.obj") << c.line;
        EXPECT_STREQ(fields.seamPath, "s.bin") << c.line;
        EXPECT_STREQ(fields.batch, c.batch) << c.line;
        if (c.packing)
            EXPECT_STREQ(fields.packing, c.packing) << c.line;
        else
            EXPECT_EQ(fields.packing, nullptr) << c.line;
    }
}

} // namespace
