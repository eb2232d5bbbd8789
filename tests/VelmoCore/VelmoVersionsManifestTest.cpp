#include "Tindrel/VelmoCore/VelmoVersionsManifest.h"

#include <gtest/gtest.h>

using velmo::VelmoProductReleaseInfo;
using velmo::VelmoVersionsManifest;

namespace {

struct DecodeCase {
    const char* what;
    std::string json;
    bool decodes;
};

const char* const tindrel =
    R"("tindrel": {"version": "1.2.0", "notes": "Faster", "downloadURL": "https://h/t.zip"})";

std::string withTindrel(const std::string& rest) {
    return "{\"products\": {" + std::string(tindrel) + rest + "}}";
}

TEST(VelmoVersionsManifest, DecodesOnlyDocumentsThatFollowEveryRule) {
    const std::vector<DecodeCase> cases{
        {"only products", "{\"products\": {}}", true},
        {"nulls for optionals",
         R"({"updatedAt": null, "products": {"tindrel": {"version": "1", "notes": "",
            "downloadURL": "", "pageURL": null}}})",
         true},
        {"unknown keys at every level",
         R"({"schema": 3, "products": {"tindrel": {"version": "1", "notes": "n",
            "downloadURL": "d", "sha256": "ab"}}})",
         true},
        {"version as a number", R"({"products": {"tindrel": {"version": 1.2, "notes": "n",
            "downloadURL": "d"}}})",
         false},
        {"missing notes", R"({"products": {"tindrel": {"version": "1", "downloadURL": "d"}}})",
         false},
        {"null required value",
         R"({"products": {"tindrel": {"version": null, "notes": "n", "downloadURL": "d"}}})",
         false},
        {"capitalised key",
         R"({"products": {"tindrel": {"Version": "1", "notes": "n", "downloadURL": "d"}}})", false},
        {"snake case key",
         R"({"products": {"tindrel": {"version": "1", "notes": "n", "download_url": "d"}}})",
         false},
        {"bad record under another product",
         withTindrel(R"(, "other": {"version": "2", "downloadURL": "d"})"), false},
        {"pageURL as a number", R"({"products": {"tindrel": {"version": "1", "notes": "n",
            "downloadURL": "d", "pageURL": 7}}})",
         false},
        {"updatedAt as a number", R"({"updatedAt": 5, "products": {}})", false},
        {"no products", R"({"updatedAt": "today"})", false},
        {"products as an array", R"({"products": []})", false},
        {"top level array", "[]", false},
        {"empty body", "", false},
        {"not JSON", "<html>404</html>", false},
    };
    for (const DecodeCase& item : cases)
        EXPECT_EQ(VelmoVersionsManifest::decode(QByteArray::fromStdString(item.json)).has_value(),
                  item.decodes)
            << item.what;
}

TEST(VelmoVersionsManifest, KeepsValuesAsWrittenAndLooksUpProductIdsWithCase) {
    const auto manifest = VelmoVersionsManifest::decode(
        withTindrel(
            R"(, "Tindrel": {"version": "9", "notes": "x", "downloadURL": "y", "pageURL": " p "})")
            .c_str());
    ASSERT_TRUE(manifest);
    EXPECT_FALSE(manifest->updatedAt.has_value());
    ASSERT_EQ(manifest->products.count(QStringLiteral("tindrel")), 1u);
    EXPECT_EQ(manifest->products.at(QStringLiteral("tindrel")),
              (VelmoProductReleaseInfo{QStringLiteral("1.2.0"), QStringLiteral("Faster"),
                                       QStringLiteral("https://h/t.zip"), std::nullopt}));
    EXPECT_EQ(manifest->products.at(QStringLiteral("Tindrel")).pageURL, QStringLiteral(" p "));
    EXPECT_EQ(VelmoVersionsManifest::decode(manifest->encode()), manifest);
}

} // namespace
