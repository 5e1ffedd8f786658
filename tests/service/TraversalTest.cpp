// A download never serves anything outside the root, however the name is written.
#include "tests/service/ServiceFixture.h"
#include "tests/service/TraversalCases.h"

namespace corvane::test {
namespace {

class Traversal : public ServiceTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        PlantTraversalTree(tree_);
        StartService();
    }
};

TEST_P(Traversal, IsRefusedWithAnErrorObject) {
    const std::string target = "/download?file=" + ExpandTraversal(GetParam(), tree_);
    const HttpAnswer answer = Get(Port(), target);
    EXPECT_EQ(answer.status, 404) << target;
    EXPECT_TRUE(IsErrorObject(answer.body, 404)) << target << " -> " << answer.body;
    EXPECT_EQ(answer.body.find(ServedTree::kSecret), std::string::npos) << target;
}

INSTANTIATE_TEST_SUITE_P(EveryEncoding, Traversal, ::testing::ValuesIn(kTraversalNames));

TEST_F(Traversal, PathsOtherThanTheTwoResourcesAreNotFiles) {
    for (const char* target : kOtherPathTargets) {
        const HttpAnswer answer = Get(Port(), target);
        EXPECT_EQ(answer.status, 404) << target;
        EXPECT_EQ(answer.body.find(ServedTree::kSecret), std::string::npos) << target;
        EXPECT_EQ(answer.body.find("morvik"), std::string::npos) << target;
        EXPECT_EQ(answer.body.find("layout 1"), std::string::npos) << target;
    }
}

} // namespace
} // namespace corvane::test
