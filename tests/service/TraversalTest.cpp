// A download never serves anything outside the root, however the name is written.
#include "tests/service/ServiceFixture.h"
#include "tests/service/TraversalCases.h"

namespace corvane::test {
namespace {

class Traversal : public ServiceTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override {
        PlantTraversalTree(FTree);
        StartService();
    }
};

TEST_P(Traversal, IsRefusedWithAnErrorObject) {
    const std::string target = "/download?file=" + ExpandTraversal(GetParam(), FTree);
    const THttpAnswer answer = Get(Port(), target);
    EXPECT_EQ(answer.Status, 404) << target;
    EXPECT_TRUE(IsErrorObject(answer.Body, 404)) << target << " -> " << answer.Body;
    EXPECT_EQ(answer.Body.find(TServedTree::kSecret), std::string::npos) << target;
}

INSTANTIATE_TEST_SUITE_P(EveryEncoding, Traversal, ::testing::ValuesIn(kTraversalNames));

TEST_F(Traversal, PathsOtherThanTheTwoResourcesAreNotFiles) {
    for (const char* target : kOtherPathTargets) {
        const THttpAnswer answer = Get(Port(), target);
        EXPECT_EQ(answer.Status, 404) << target;
        EXPECT_EQ(answer.Body.find(TServedTree::kSecret), std::string::npos) << target;
        EXPECT_EQ(answer.Body.find("morvik"), std::string::npos) << target;
        EXPECT_EQ(answer.Body.find("layout 1"), std::string::npos) << target;
    }
}

} // namespace
} // namespace corvane::test
