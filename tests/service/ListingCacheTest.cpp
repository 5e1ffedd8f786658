// The listing is walked once and walked again exactly when the tree changed.
#include "tests/service/ServiceFixture.h"

#include "platform/FileTime.h"

#include <functional>

namespace corvane::test {
namespace {

constexpr const char* kWholeTree = "/folderlist?folder=%5C&mask=*.*&recursive=";

class ListingCache : public ServiceTest {
protected:
    void SetUp() override {
        for (const char* name : {"Morvik.exe", "Bin/gds32.dll", "Bin/libpq.dll", "Relatorio/A.rav"})
            WriteFile(tree_.Root() / name, name);
        StartService();
    }
    std::string Listing() {
        const HttpAnswer answer = Get(Port(), kWholeTree);
        EXPECT_EQ(answer.status, 200);
        return answer.body;
    }
    std::vector<std::string> Names() {
        auto names = ListedNames(Listing());
        return names ? *names : std::vector<std::string>{"<not a listing>"};
    }
};

TEST_F(ListingCache, AMorningOfIdenticalListingsWalksTheTreeOnce) {
    const std::string first = Listing();
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(Listing(), first);
    // Downloads by the name as listed need no walk at all.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Get(Port(), "/download?file=Bin%5Cgds32.dll").status, 200);
    EXPECT_EQ(service_->Catalog().Walks(), 1u);
}

TEST_F(ListingCache, FollowsEveryChangeOfTheTree) {
    const fs::path root = tree_.Root();
    const DateTime stamped = EncodeDateTime(2020, 5, 4, 3, 2, 1, 9);
    struct Step {
        const char* what;
        std::function<void()> change;
        std::vector<std::string> present;
        std::vector<std::string> absent;
    };
    const std::vector<Step> steps = {
        {"stamped", [&] { SetFileAge((root / "Bin" / "gds32.dll").string(), stamped); }, {}, {}},
        {"file added", [&] { WriteFile(root / "Bin" / "novo.dll", "n"); }, {"Bin\\novo.dll"}, {}},
        {"folder added", [&] { WriteFile(root / "Nova" / "um.txt", "1"); }, {"Nova\\um.txt"}, {}},
        {"file added to the new folder",
         [&] { WriteFile(root / "Nova" / "dois.txt", "2"); },
         {"Nova\\dois.txt"},
         {}},
        {"renamed",
         [&] { fs::rename(root / "Bin" / "libpq.dll", root / "Bin" / "LIBPQ.DLL"); },
         {"Bin\\LIBPQ.DLL"},
         {"Bin\\libpq.dll"}},
        {"deleted", [&] { fs::remove(root / "Bin" / "novo.dll"); }, {}, {"Bin\\novo.dll"}},
        {"folder moved out",
         [&] { fs::rename(root / "Nova", tree_.Base() / "Nova"); },
         {},
         {"Nova\\um.txt", "Nova\\dois.txt"}},
        {"folder moved back",
         [&] { fs::rename(tree_.Base() / "Nova", root / "Nova"); },
         {"Nova\\um.txt", "Nova\\dois.txt"},
         {}},
        {"folder removed", [&] { fs::remove_all(root / "Relatorio"); }, {}, {"Relatorio\\A.rav"}},
    };
    Listing();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        const std::uint64_t walks = service_->Catalog().Walks();
        step.change();
        const std::vector<std::string> names = Names();
        for (const std::string& name : step.present)
            EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
        for (const std::string& name : step.absent)
            EXPECT_EQ(std::find(names.begin(), names.end(), name), names.end()) << name;
        EXPECT_EQ(service_->Catalog().Walks(), walks + 1);
        Listing();
        EXPECT_EQ(service_->Catalog().Walks(), walks + 1) << "walked again without a change";
    }
    EXPECT_EQ(ListedAge(Listing(), "Bin\\gds32.dll"), "2020-05-04T03:02:01.009");
}

TEST_F(ListingCache, ContentWrittenInPlaceChangesTheAge) {
    SetFileAge((tree_.Root() / "Morvik.exe").string(), EncodeDateTime(2019, 1, 1, 0, 0, 0, 0));
    EXPECT_EQ(ListedAge(Listing(), "Morvik.exe"), "2019-01-01T00:00:00.000");
    WriteFile(tree_.Root() / "Morvik.exe", "versão nova"); // the folder's own time stays
    EXPECT_NE(ListedAge(Listing(), "Morvik.exe"), "2019-01-01T00:00:00.000");
}

// A file is read for its hash once per content: when the service starts, and again only
// for a file whose content or stamp changed.
TEST_F(ListingCache, ReadsEachContentOnceForItsHash) {
    FileCatalog& catalog = service_->Catalog();
    EXPECT_EQ(catalog.FilesHashed(), 4u);
    const std::string first = Listing();
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(Listing(), first);
        EXPECT_EQ(Get(Port(), "/download?file=Bin%5Cgds32.dll").status, 200);
    }
    EXPECT_EQ(catalog.FilesHashed(), 4u);

    WriteFile(tree_.Root() / "Morvik.exe", "versao 2 do modulo");
    const std::string second = Listing();
    EXPECT_EQ(ListedContent(second, "Morvik.exe"),
              (ListedFileContent{
                  18, "c1672642ec4f5b4d5aef60d4663af5efd77fb9a1c34c5debb8e0d262d29933a9"}));
    EXPECT_EQ(ListedContent(second, "Bin\\gds32.dll"), ListedContent(first, "Bin\\gds32.dll"));
    EXPECT_EQ(catalog.FilesHashed(), 5u);
    WriteFile(tree_.Root() / "Bin" / "novo.dll", "n");
    Listing();
    EXPECT_EQ(catalog.FilesHashed(), 6u);
}

// Without content checks the tree is listed as services listed it before sizes and hashes:
// names and ages only, and no file is read for a hash.
TEST(ListingWithoutChecks, ListsNamesAndAgesAlone) {
    ServedTree tree;
    WriteFile(tree.Root() / "Morvik.exe", "modulo");
    FileCatalog catalog(tree.Root().string(), false);
    const ListingAnswer answer = catalog.Listing("\\", "*.*", true);
    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(ListedNames(answer.body->json), std::vector<std::string>{"Morvik.exe"});
    EXPECT_EQ(ListedContent(answer.body->json, "Morvik.exe"), std::nullopt);
    EXPECT_EQ(catalog.FilesHashed(), 0u);
}

// A hash is kept across walks only if its file had stood unchanged for a while when it was
// read: a same-size rewrite within one tick of the clock would leave the stamp as it was.
TEST(ListingHashes, AHashOfAFileJustChangedIsTakenAgainAtTheNextWalk) {
    for (const auto& [settle, hashedAfterSecondWalk] :
         {std::pair{std::chrono::nanoseconds(0), 2u},
          std::pair{std::chrono::nanoseconds(std::chrono::hours(1)), 3u}}) {
        ServedTree tree;
        WriteFile(tree.Root() / "Morvik.exe", "modulo");
        FileCatalog catalog(tree.Root().string(), true, settle);
        EXPECT_EQ(catalog.FilesHashed(), 1u);
        WriteFile(tree.Root() / "novo.dll", "n"); // any change makes the next listing walk
        const ListingAnswer answer = catalog.Listing("\\", "*.*", true);
        EXPECT_EQ(catalog.Walks(), 2u);
        EXPECT_EQ(catalog.FilesHashed(), hashedAfterSecondWalk) << settle.count();
        EXPECT_EQ(ListedContent(answer.body->json, "Morvik.exe"),
                  (ListedFileContent{
                      6, "93401e39d3641332017a4a2b964149256f3ad86ea0f5f394461d7cc0a5367361"}))
            << answer.body->json;
    }
}

TEST_F(ListingCache, AFileAddedAfterTheWalkIsFoundInAnyLetterCase) {
    Listing();
    WriteFile(tree_.Root() / "Bin" / "Novo.DLL", "novo");
    const HttpAnswer answer = Get(Port(), "/download?file=BIN%5Cnovo.dll");
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.body, "novo");
}

} // namespace
} // namespace corvane::test
