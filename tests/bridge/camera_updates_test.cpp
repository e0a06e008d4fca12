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

TEST(CameraUpdates, NameIsTheRawBytesBetweenTwoQuotes) {
    auto u = parse(R"([{"name":"a\u0041"}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_EQ(u[0].name, "a\\u0041");
    // An escaped quote ends the name: the bytes are not unescaped.
    u = parse(R"([{"name":"a\"b"}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_EQ(u[0].name, "a\\");
    // Multi-byte UTF-8 passes as it is.
    u = parse("[{\"name\":\"K\xc3\xbc\x63he\"}]");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_EQ(u[0].name, "K\xc3\xbc\x63he");
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

TEST(CameraUpdates, ScaleIsReadFromTheFirstDigitOrMinus) {
    struct Case {
        const char* value;
        bool set;
        double expect;
    };
    const Case cases[] = {
        {"2.5", true, 2.5},    {"-3", true, -3.0}, {"1e3", true, 1000.0},
        {"+2", true, 2.0},     {".5", true, 5.0},  {"-", false, 0.0},
        {"\"x\"", false, 0.0}, {"0", true, 0.0},   {"-0.25e-2", true, -0.0025},
    };
    for (const Case& c : cases) {
        const auto u = parse(std::string(R"([{"name":"A","scale_2d":)") + c.value + "}]");
        ASSERT_EQ(u.size(), 1u) << c.value;
        EXPECT_EQ(u[0].has_scale_2d, c.set) << c.value;
        if (c.set) {
            EXPECT_DOUBLE_EQ(u[0].scale_2d, c.expect) << c.value;
        }
    }
    // null runs on to the next digit of the same object, and no further.
    auto u = parse(R"([{"name":"A","scale_2d":null,"zoom":7},{"name":"B9"}])");
    ASSERT_EQ(u.size(), 2u);
    EXPECT_TRUE(u[0].has_scale_2d);
    EXPECT_DOUBLE_EQ(u[0].scale_2d, 7.0);
    // Any digit counts, even the one in a later key's name.
    u = parse(R"([{"name":"A","scale_2d":null,"center_2d":[7,8,9]}])");
    ASSERT_EQ(u.size(), 1u);
    EXPECT_DOUBLE_EQ(u[0].scale_2d, 2.0);
    u = parse(R"([{"name":"A","scale_2d":null},{"name":"B","scale_2d":4}])");
    ASSERT_EQ(u.size(), 2u);
    EXPECT_FALSE(u[0].has_scale_2d);
    EXPECT_TRUE(u[1].has_scale_2d);
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
          R"([{"name":"A","center_2d":[1,x,3]}])", R"([{"name":"A","center_2d"}])"}) {
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
    // A brace inside a string counts, so this object never closes either.
    EXPECT_TRUE(parse(R"([{"name":"A{","scale_2d":1}])").empty());
    // One inside a string closes the object early, leaving it without a name.
    EXPECT_EQ(names(parse(R"([{"name":"A}"},{"name":"B"}])")), (std::vector<std::string>{"B"}));
}

TEST(CameraUpdates, ContinuesTwoCharactersAfterEachObject) {
    EXPECT_EQ(names(parse(R"([{"name":"A"}, {"name":"B"} ,{"name":"C"}])")),
              (std::vector<std::string>{"A", "B", "C"}));
    // Without a separator the skip lands inside the next object, which is then not seen.
    EXPECT_EQ(names(parse(R"([{"name":"A"}{"name":"B"},{"name":"C"}])")),
              (std::vector<std::string>{"A", "C"}));
    // A closing brace as the last character: the skip goes past the end and stops.
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
