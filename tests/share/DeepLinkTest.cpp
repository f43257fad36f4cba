#include "DeepLink.h"

#include <gtest/gtest.h>

namespace {

std::optional<DeepLink> parse(const char* text) {
    return DeepLink::parse(QString::fromUtf8(text));
}

} // namespace

TEST(DeepLink, TheFiveRequests) {
    EXPECT_EQ(parse("solvane://settings"), DeepLink::settings());
    EXPECT_EQ(parse("solvane://mini"), DeepLink::mini());
    EXPECT_EQ(parse("solvane://product/171"), DeepLink::product("171"));
    EXPECT_EQ(parse("solvane://product/composite_uv"), DeepLink::product("composite_uv"));
    EXPECT_EQ(parse("solvane://layout/two-up_1"), DeepLink::layout("two-up_1"));
    EXPECT_EQ(parse("solvane://look/running"), DeepLink::look("running"));
}

TEST(DeepLink, SchemeAndHostAreCaseBlind) {
    EXPECT_EQ(parse("SOLVANE://Settings"), DeepLink::settings());
    EXPECT_EQ(parse("Solvane://PRODUCT/171"), DeepLink::product("171"));
    EXPECT_EQ(parse("solvane://Look/detail"), DeepLink::look("detail"));
}

TEST(DeepLink, OtherSchemesAndMissingHostsYieldNothing) {
    EXPECT_EQ(parse("https://settings"), std::nullopt);
    EXPECT_EQ(parse("solvan://settings"), std::nullopt);
    EXPECT_EQ(parse("settings"), std::nullopt);
    EXPECT_EQ(parse("solvane:settings"), std::nullopt);
    EXPECT_EQ(parse("solvane:///settings"), std::nullopt);
    EXPECT_EQ(parse("solvane://"), std::nullopt);
    EXPECT_EQ(parse(""), std::nullopt);
    EXPECT_EQ(parse("solvane://preferences"), std::nullopt);
}

TEST(DeepLink, SettingsAndMiniTakeNoArgument) {
    EXPECT_EQ(parse("solvane://settings/"), DeepLink::settings()); // a lone "/" is no component
    EXPECT_EQ(parse("solvane://settings/general"), std::nullopt);
    EXPECT_EQ(parse("solvane://mini/x"), std::nullopt);
    EXPECT_EQ(parse("solvane://mini/x/y"), std::nullopt);
}

TEST(DeepLink, ProductsMustBeCatalogueIdsExactly) {
    EXPECT_EQ(parse("solvane://product"), std::nullopt);
    EXPECT_EQ(parse("solvane://product/"), std::nullopt);
    EXPECT_EQ(parse("solvane://product/999"), std::nullopt);
    EXPECT_EQ(parse("solvane://product/Rainbow"), std::nullopt);
    EXPECT_EQ(parse("solvane://product/rainbow"), DeepLink::product("rainbow"));
    EXPECT_EQ(parse("solvane://product/171/193"), std::nullopt);
    EXPECT_EQ(parse("solvane://product/..%2F171"), std::nullopt);
}

TEST(DeepLink, NamesAreShortLowerCaseWords) {
    const QString longest(32, QLatin1Char('a'));
    EXPECT_EQ(DeepLink::parse("solvane://layout/" + longest), DeepLink::layout(longest));
    EXPECT_EQ(DeepLink::parse("solvane://layout/" + longest + "a"), std::nullopt);
    EXPECT_EQ(parse("solvane://layout/az09_-"), DeepLink::layout("az09_-"));
    EXPECT_EQ(parse("solvane://layout/Grid"), std::nullopt);
    EXPECT_EQ(parse("solvane://look/Detail"), std::nullopt);
    EXPECT_EQ(parse("solvane://look/two%20words"), std::nullopt);
    EXPECT_EQ(parse("solvane://look/caf%C3%A9"), std::nullopt);
    EXPECT_EQ(parse("solvane://layout/a/b"), std::nullopt);
    EXPECT_EQ(parse("solvane://layout"), std::nullopt);
    EXPECT_EQ(parse("solvane://look/"), std::nullopt);
    // An encoded slash stays inside its component, and is not a name character.
    EXPECT_EQ(parse("solvane://layout/a%2Fb"), std::nullopt);
    // A trailing line feed is not part of a name.
    EXPECT_EQ(parse("solvane://layout/grid%0A"), std::nullopt);
}

TEST(DeepLink, EqualityIsCaseAndPayload) {
    EXPECT_EQ(DeepLink::product("171"), DeepLink::product("171"));
    EXPECT_NE(DeepLink::product("171"), DeepLink::product("193"));
    EXPECT_NE(DeepLink::layout("x"), DeepLink::look("x"));
    EXPECT_NE(DeepLink::settings(), DeepLink::mini());
}
