// The page's form of every mirror kind, as the registry describes it: the
// list the page builds its fields from.
#include <gtest/gtest.h>

#include <set>

#include "pipeline/mirror_kinds.h"
#include "web/form.h"

namespace anamorfosi {

using nlohmann::json;

TEST(Form, ThePageIsGivenEveryKindWithItsValues) {
  const json list = KindsJson();
  ASSERT_EQ(list["kinds"].size(), MirrorKinds().size());
  std::size_t i = 0;
  for (const MirrorKindEntry& k : MirrorKinds()) {
    const json& kind = list["kinds"][i++];
    SCOPED_TRACE(k.Name);
    EXPECT_EQ(kind["name"], k.Name);
    EXPECT_EQ(kind["words"], k.Words);
    EXPECT_EQ(kind["choice"], k.Page.Choice);
    EXPECT_EQ(kind["automatic_face"], k.AutomaticFace != nullptr);
    ASSERT_EQ(kind["parameters"].size(), k.Parameters.size());
    std::set<std::string> fields;
    for (std::size_t j = 0; j < k.Parameters.size(); ++j) {
      const json& p = kind["parameters"][j];
      EXPECT_EQ(p["option"], k.Parameters[j].Option);
      EXPECT_EQ(p["key"], k.Parameters[j].Key);
      EXPECT_EQ(p["required"], k.Parameters[j].Required);
      EXPECT_EQ(p["default"], k.Parameters[j].Default);
      fields.insert(p["field"].get<std::string>());
    }
    // The usual eye follows one of the kind's own fields, or the server's answer.
    const std::string per = kind["eye"]["per"];
    EXPECT_TRUE(per.empty() ? std::string(k.Page.EyePer).empty() : fields.count(per) == 1) << per;
    EXPECT_EQ(kind["eye"]["offset"].size(), 3u);
  }
}

}  // namespace anamorfosi
