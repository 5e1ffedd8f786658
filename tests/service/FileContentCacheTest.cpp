// The memory kept for small files: one read per content, a change always seen, the budget kept.
#include "tests/service/ServiceFixture.h"

#include "platform/ServiceFiles.h"
#include "service/FileContentCache.h"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

// A cache whose prepared contents are the bytes themselves, counting the reads.
class ContentCache : public ::testing::Test {
protected:
    void Use(std::size_t budget, std::size_t largest, std::chrono::nanoseconds settle = 0ns) {
        cache_ =
            std::make_unique<FileContentCache>(budget, largest, settle, [this](std::string bytes) {
                ++reads_;
                if (whileReading_)
                    std::exchange(whileReading_, nullptr)();
                return std::make_shared<const std::string>(std::move(bytes));
            });
    }
    // The content the cache gives for the file now, or nothing.
    std::optional<std::string> Find(std::string_view name) {
        const std::optional<ServedFile> file = root_.OpenFile(name);
        if (!file)
            return std::nullopt;
        const auto content = cache_->Find(*file);
        if (!content)
            return std::nullopt;
        const auto& bytes = *static_cast<const std::string*>(content->prepared.get());
        EXPECT_EQ(content->size, bytes.size());
        return bytes;
    }

    ServedTree tree_;
    ServiceRoot root_{tree_.Root().string()};
    std::unique_ptr<FileContentCache> cache_;
    int reads_ = 0;
    std::function<void()> whileReading_; // once, between a read and its keeping
};

TEST_F(ContentCache, ReadsEachContentOnceAndSeesEveryChange) {
    Use(1 << 20, 1 << 20);
    WriteFile(tree_.Root() / "Pasta" / "a.dll", "primeiro");
    EXPECT_EQ(Find("Pasta\\a.dll"), "primeiro");
    EXPECT_EQ(Find("Pasta/a.dll"), "primeiro");
    EXPECT_EQ(reads_, 1);

    // Rewritten in place with another length, and replaced by a new file of the same length.
    WriteFile(tree_.Root() / "Pasta" / "a.dll", "segundo!!");
    EXPECT_EQ(Find("Pasta\\a.dll"), "segundo!!");
    EXPECT_EQ(cache_->HeldBytes(), 9u); // in place of the first content
    WriteFile(tree_.Root() / "novo.tmp", "terceiro!");
    fs::rename(tree_.Root() / "novo.tmp", tree_.Root() / "Pasta" / "a.dll");
    EXPECT_EQ(Find("Pasta\\a.dll"), "terceiro!");
    EXPECT_EQ(Find("Pasta\\a.dll"), "terceiro!");
    EXPECT_EQ(reads_, 3);
}

struct NotKeptCase {
    const char* why;
    std::size_t budget;
    std::size_t largest;
    std::chrono::nanoseconds settle;
    std::size_t fileSize;
};

class NotKept : public ContentCache, public ::testing::WithParamInterface<NotKeptCase> {};

TEST_P(NotKept, LeavesTheFileToBeSentFromDisk) {
    const NotKeptCase& c = GetParam();
    Use(c.budget, c.largest, c.settle);
    WriteFile(tree_.Root() / "f.bin", PatternContent(c.fileSize));
    EXPECT_FALSE(Find("f.bin"));
    EXPECT_FALSE(Find("f.bin"));
    EXPECT_EQ(reads_, 0);
    EXPECT_EQ(cache_->HeldBytes(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ContentCache, NotKept,
    ::testing::Values(NotKeptCase{"larger than the largest kept", 1 << 20, 1000, 0ns, 1001},
                      NotKeptCase{"larger than the whole budget", 1000, 1 << 20, 0ns, 1001},
                      NotKeptCase{"no budget", 0, 1 << 20, 0ns, 10},
                      NotKeptCase{"empty", 1 << 20, 1 << 20, 0ns, 0},
                      NotKeptCase{"changed too recently", 1 << 20, 1 << 20, 1h, 10}),
    [](const ::testing::TestParamInfo<NotKeptCase>& param) {
        std::string name = param.param.why;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST_F(ContentCache, DropsWhatWasAskedForLeastRecentlyToStayWithinItsBudget) {
    Use(3000, 1000);
    for (const char* name : {"a", "b", "c", "d"})
        WriteFile(tree_.Root() / name, PatternContent(1000));
    for (const char* name : {"a", "b", "c", "a", "d"})
        ASSERT_TRUE(Find(name));
    EXPECT_EQ(reads_, 4);
    EXPECT_EQ(cache_->HeldBytes(), 3000u);
    ASSERT_TRUE(Find("a")); // kept
    ASSERT_TRUE(Find("d"));
    EXPECT_EQ(reads_, 4);
    ASSERT_TRUE(Find("b")); // dropped for d, read again
    EXPECT_EQ(reads_, 5);
}

// A crowd asking for one file at once has it read once: whoever asks while it is being read is
// sent the file from disk.
TEST_F(ContentCache, ReadsAContentOnceWhenAskedForWhileItIsBeingRead) {
    Use(1 << 20, 1 << 20);
    WriteFile(tree_.Root() / "m.exe", "conteudo");
    std::optional<std::optional<std::string>> meanwhile;
    whileReading_ = [&] { meanwhile = Find("m.exe"); };
    EXPECT_EQ(Find("m.exe"), "conteudo");
    ASSERT_TRUE(meanwhile);
    EXPECT_EQ(*meanwhile, std::nullopt);
    EXPECT_EQ(Find("m.exe"), "conteudo"); // kept once read
    EXPECT_EQ(reads_, 1);
}

// A content prepared once stays whole for whoever holds it after the cache let go of it.
TEST_F(ContentCache, AHeldContentOutlivesItsReplacement) {
    Use(1 << 20, 1 << 20);
    WriteFile(tree_.Root() / "m.exe", "velho");
    const std::optional<ServedFile> file = root_.OpenFile("m.exe");
    ASSERT_TRUE(file);
    const auto held = cache_->Find(*file);
    ASSERT_TRUE(held);
    WriteFile(tree_.Root() / "m.exe", "novo conteudo");
    EXPECT_EQ(Find("m.exe"), "novo conteudo");
    EXPECT_EQ(*static_cast<const std::string*>(held->prepared.get()), "velho");
}

} // namespace
} // namespace corvane::test
