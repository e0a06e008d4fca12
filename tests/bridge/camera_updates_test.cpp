#include "bridge/camera_updates.h"

#include <gtest/gtest.h>

#include <string>

using zelvora::CameraUpdate;
using zelvora::parse_camera_updates;

namespace {

std::vector<CameraUpdate> parse(const std::string& text) {
    return parse_camera_updates(text.c_str());
}

std::vector<std::string> names(const std::vector<CameraUpdate>& updates) {
    std::vector<std::string> out;
    for (const CameraUpdate& u : updates) {
        out.push_back(u.name);
    }
    return out;
}

} // namespace

TEST(CameraUpdates, ReadsEveryKeyOfTheDocumentedExample) {
    const auto u = parse(R"({"scenes":[{"name":"Top","is_2d":true,"scale_2d":12.5,)"
                         R"("center_2d":[1,2,0],"is_perspective":false}]})");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_EQ(u[0].name, "Top");
    EXPECT_TRUE(u[0].has_is_2d);
    EXPECT_TRUE(u[0].is_2d);
    EXPECT_TRUE(u[0].has_scale_2d);
    EXPECT_DOUBLE_EQ(u[0].scale_2d, 12.5);
    EXPECT_TRUE(u[0].has_center_2d);
    EXPECT_DOUBLE_EQ(u[0].center_2d[0], 1.0);
    EXPECT_DOUBLE_EQ(u[0].center_2d[1], 2.0);
    EXPECT_DOUBLE_EQ(u[0].center_2d[2], 0.0);
    EXPECT_TRUE(u[0].has_is_perspective);
    EXPECT_FALSE(u[0].is_perspective);
}

TEST(CameraUpdates, MissingKeysLeaveTheirFlagsUnset) {
    const auto u = parse(R"([{"name":"A"}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_FALSE(u[0].has_is_2d);
    EXPECT_FALSE(u[0].has_scale_2d);
    EXPECT_FALSE(u[0].has_center_2d);
    EXPECT_FALSE(u[0].has_is_perspective);
}

TEST(CameraUpdates, FindsTheArray) {
    // A bare array reads the same as one under "scenes".
    EXPECT_EQ(names(parse(R"([{"name":"A"},{"name":"B"}])")), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(names(parse(R"({"scenes":[{"name":"A"},{"name":"B"}]})")),
              (std::vector<std::string>{"A", "B"}));
    // The array under "scenes" wins over an earlier one.
    EXPECT_EQ(names(parse(R"({"other":[{"name":"X"}],"scenes":[{"name":"A"}]})")),
              (std::vector<std::string>{"A"}));
    // "scenes" without a "[" after it falls back to the first "[" of the text.
    EXPECT_EQ(names(parse(R"([{"name":"A"}], "scenes")")), (std::vector<std::string>{"A"}));
    // No "[" at all: nothing, even with objects present.
    EXPECT_TRUE(parse(R"({"name":"A","scale_2d":2})").empty());
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse_camera_updates(nullptr).empty());
}

TEST(CameraUpdates, DropsObjectsWithoutAName) {
    EXPECT_EQ(names(parse(R"([{"scale_2d":2},{"name":""},{"name":"C","scale_2d":3}])")),
              (std::vector<std::string>{"C"}));
    // A name key whose value never closes inside the object is no name.
    EXPECT_TRUE(parse(R"([{"name":"A}])").empty());
}

TEST(CameraUpdates, NamesAreUnescapedSoThatEscapedNamesMatch) {
    struct Case {
        const char* json_name; // as written between the quotes
        const char* name;      // the bytes compared with the scene's name
    };
    const Case cases[] = {
        {R"(a\u0041)", "aA"},
        {R"(a\"b)", "a\"b"},
        {R"(back\\slash)", "back\\slash"},
        {R"(tab\there)", "tab\there"},
        {R"(\b\f\n\r\/)", "\b\f\n\r/"},
        {R"(caf\u00e9)", "caf\xc3\xa9"},
        {R"(\u20ac)", "\xe2\x82\xac"},
        {R"(\ud83d\ude00)", "\xf0\x9f\x98\x80"},
        {"K\xc3\xbc\x63he", "K\xc3\xbc\x63he"},
        {R"(not \q an escape)", "not \\q an escape"},
        {R"(cut \u12)", "cut \\u12"},
    };
    for (const Case& c : cases) {
        const auto u = parse(std::string(R"([{"name":")") + c.json_name + R"("}])");
        ASSERT_EQ(u.size(), 1u) << c.json_name;
        EXPECT_EQ(u[0].name, c.name) << c.json_name;
    }
    // The name must be the key's own value, not some later string.
    EXPECT_TRUE(parse(R"([{"name":null,"other":"B"}])").empty());
}

TEST(CameraUpdates, BooleansNeedExactLowerCaseWords) {
    auto u = parse("[{\"name\":\"A\",\"is_2d\" \t\r\n: :true,\"is_perspective\":false}]");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_TRUE(u[0].has_is_2d);
    EXPECT_TRUE(u[0].is_2d);
    EXPECT_TRUE(u[0].has_is_perspective);
    EXPECT_FALSE(u[0].is_perspective);

    u = parse(R"([{"name":"A","is_2d":True,"is_perspective":"false"}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_FALSE(u[0].has_is_2d);
    EXPECT_FALSE(u[0].has_is_perspective);

    // Cut short by the end of the object.
    u = parse(R"([{"name":"A","is_2d":tru}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_FALSE(u[0].has_is_2d);
}

TEST(CameraUpdates, ScaleIsTheFiniteNumberRightAfterItsKeyOrUnset) {
    struct Case {
        const char* value;
        bool set;
        double expect;
    };
    const Case cases[] = {
        {"2.5", true, 2.5},    {"-3", true, -3.0},      {"1e3", true, 1000.0},
        {"+2", true, 2.0},     {".5", true, 0.5},       {"-", false, 0.0},
        {"\"x\"", false, 0.0}, {"0", true, 0.0},        {"-0.25e-2", true, -0.0025},
        {" \n 4", true, 4.0},  {"1e999", false, 0.0},   {"-1e999", false, 0.0},
        {"NaN", false, 0.0},   {"nan", false, 0.0},     {"Infinity", false, 0.0},
        {"null", false, 0.0},  {"\"big\"", false, 0.0}, {"\"2\"", false, 0.0},
    };
    for (const Case& c : cases) {
        // A later key with digits must never lend its number to the scale.
        const auto u = parse(std::string(R"([{"name":"A","scale_2d":)") + c.value +
                             R"(,"center_2d":[2,3,4]}])");
        ASSERT_EQ(u.size(), 1u) << c.value;
        EXPECT_EQ(u[0].has_scale_2d, c.set) << c.value;
        if (c.set) {
            EXPECT_DOUBLE_EQ(u[0].scale_2d, c.expect) << c.value;
        }
        EXPECT_TRUE(u[0].has_center_2d) << c.value;
    }
}

TEST(CameraUpdates, CenterNeedsThreeNumbersAndTheClosingBracket) {
    auto u = parse(R"([{"name":"A","center_2d":[ -1.5 , 2e1 ,3 ],"scale_2d":2}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_TRUE(u[0].has_center_2d);
    EXPECT_DOUBLE_EQ(u[0].center_2d[0], -1.5);
    EXPECT_DOUBLE_EQ(u[0].center_2d[1], 20.0);
    EXPECT_DOUBLE_EQ(u[0].center_2d[2], 3.0);

    // Two numbers: center unset, the other values still read.
    u = parse(R"([{"name":"A","center_2d":[1,2],"is_2d":true,"scale_2d":5}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_FALSE(u[0].has_center_2d);
    EXPECT_TRUE(u[0].has_is_2d);
    EXPECT_TRUE(u[0].has_scale_2d);
    EXPECT_DOUBLE_EQ(u[0].scale_2d, 5.0);

    for (const char* bad :
         {R"([{"name":"A","center_2d":1,2,3}])", R"([{"name":"A","center_2d":[1,2,3}])",
          R"([{"name":"A","center_2d":[1,x,3]}])", R"([{"name":"A","center_2d"}])",
          R"([{"name":"A","center_2d":[1,"big",3]}])", R"([{"name":"A","center_2d":[1e999,0,0]}])",
          R"([{"name":"A","center_2d":[0,NaN,0]}])", R"([{"name":"A","center_2d":[0,0,-inf]}])",
          R"([{"name":"A","center_2d":null,"other":[7,8,9]}])",
          R"([{"name":"A","center_2d":[1,2,3,4]}])"}) {
        u = parse(bad);
        ASSERT_EQ(u.size(), 1u) << bad;
        EXPECT_FALSE(u[0].has_center_2d) << bad;
    }
}

TEST(CameraUpdates, KeysAreFoundAnywhereInTheObjectFirstOccurrenceWins) {
    auto u = parse(R"([{"extra":{"scale_2d":3},"name":"A","scale_2d":9}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_EQ(u[0].name, "A");
    EXPECT_DOUBLE_EQ(u[0].scale_2d, 3.0);
    u = parse(R"([{"name":"First","name":"Second"}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_EQ(u[0].name, "First");
}

TEST(CameraUpdates, UnfinishedObjectsAreDropped) {
    // The last object never closes: the ones before it stay.
    EXPECT_EQ(names(parse(R"([{"name":"A"},{"name":"B","scale_2d":2)")),
              (std::vector<std::string>{"A"}));
    // A string that never closes leaves its object unfinished.
    EXPECT_EQ(names(parse(R"([{"name":"A"},{"name":"B}])")), (std::vector<std::string>{"A"}));
}

TEST(CameraUpdates, StringsAreOneTokenWhereverTheScannerLooks) {
    struct Case {
        const char* what;
        const char* text;
        std::vector<std::string> names;
        double scale; // of the first update; 0: none given
    };
    const Case cases[] = {
        {"braces in a name", R"([{"name":"x}{","scale_2d":2}])", {"x}{"}, 2},
        {"brackets in a name", R"([{"name":"][","scale_2d":3}])", {"]["}, 3},
        {"an escaped quote before a brace",
         R"([{"name":"a\"}","scale_2d":4},{"name":"B"}])",
         {"a\"}", "B"},
         4},
        {"a brace in another string value",
         R"([{"label":"}","name":"A","scale_2d":5},{"name":"B"}])",
         {"A", "B"},
         5},
        {"a key word as a value is no key", R"([{"other":"name","name":"A"}])", {"A"}, 0},
        {"scenes as a name is no key",
         R"([{"name":"scenes","center_2d":[1,2,3],"scale_2d":6}])",
         {"scenes"},
         6},
        {"a bracket in a string before the array",
         R"({"x":"[","list":[],"y":{"name":"B"}})",
         {},
         0},
        {"the array ends at its own bracket",
         R"({"scenes":[{"name":"A"}],"more":{"name":"B"}})",
         {"A"},
         0},
        {"other values between objects",
         R"([1,"{",[{"name":"A"}],null,{"name":"B"}])",
         {"A", "B"},
         0},
    };
    for (const Case& c : cases) {
        const auto u = parse(c.text);
        EXPECT_EQ(names(u), c.names) << c.what;
        if (c.scale != 0 && !u.empty()) {
            EXPECT_TRUE(u[0].has_scale_2d) << c.what;
            EXPECT_DOUBLE_EQ(u[0].scale_2d, c.scale) << c.what;
        }
    }
}

TEST(CameraUpdates, ReadsEveryObjectWhateverSeparatesThem) {
    EXPECT_EQ(names(parse(R"([{"name":"A"}, {"name":"B"} ,{"name":"C"}])")),
              (std::vector<std::string>{"A", "B", "C"}));
    // Without a separator the next object starts right after the brace.
    EXPECT_EQ(names(parse(R"([{"name":"A"}{"name":"B"},{"name":"C"}])")),
              (std::vector<std::string>{"A", "B", "C"}));
    // A closing brace as the last character, the array left open.
    EXPECT_EQ(names(parse(R"([{"name":"A"})")), (std::vector<std::string>{"A"}));
}

TEST(CameraUpdates, EmbeddedNulEndsTheText) {
    std::string text = R"([{"name":"A"},{"name":"B"})";
    text += '\0';
    text += R"(,{"name":"C"}])";
    EXPECT_EQ(names(parse_camera_updates(text.c_str())), (std::vector<std::string>{"A", "B"}));
    // The NUL cuts the object short, so it is unfinished and dropped.
    std::string cut = R"([{"name":"A","scale_2d":)";
    cut += '\0';
    cut += "5}]";
    EXPECT_TRUE(parse_camera_updates(cut.c_str()).empty());
}

TEST(CameraUpdates, KeysAtTheVeryEndReadNothing) {
    for (const char* text : {"[{\"name\"", "[{\"name\":\"", "[{\"name\":\"A\",\"scale_2d\":1",
                             "[{\"name\":\"A\",\"center_2d\":[1,2,", "[", "[{", "{\"scenes\":["}) {
        EXPECT_TRUE(parse(text).empty()) << text;
    }
}
