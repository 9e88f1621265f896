// Sharing between opens and processes, and crash safety: appends and updates killed at random
// moments, and a pack killed at random moments.
#include <signal.h>

#include <random>
#include <set>

#include "bde_test_util.h"

using namespace bde;
using bdetest::ErrorCodeOf;
using bdetest::TempDir;

namespace {

void MakeTable(const std::string& path) {
    TDbfTable::Create(path, {{"WHO", 'C', 1}, {"SEQ", 'N', 6}, {"BODY", 'C', 60}, {"NOTES", 'M'}});
}

// A record whose every part tells the same story, so a torn or mixed write shows.
void Fill(TDbfRecord& r, char who, int seq, int version) {
    std::string tag = std::string(1, who) + std::to_string(seq) + "v" + std::to_string(version);
    r.SetText(0, std::string(1, who));
    r.SetNumber(1, seq);
    std::string body;
    while (body.size() + tag.size() + 1 <= 60) body += tag + ".";
    r.SetText(2, body);
    std::string memo;
    for (int i = 0; i < 20 + seq % 50; ++i) memo += tag + "\n";
    r.SetMemo(3, memo);
}

// The record's version, or -1 when its parts disagree.
int Check(const TDbfRecord& r, char who, int seq) {
    std::string body = r.GetText(2);
    size_t v = body.find('v');
    if (v == std::string::npos) return -1;
    int version = std::atoi(body.c_str() + v + 1);
    TDbfRecord expect(r.Table().shared_from_this());
    Fill(expect, who, seq, version);
    if (r.GetText(0) != std::string(1, who) || r.GetText(1) != std::to_string(seq) || body != expect.GetText(2) ||
        r.GetMemo(3) != expect.GetMemo(3))
        return -1;
    return version;
}

pid_t ForkChild(const std::function<void()>& body) {
    pid_t pid = fork();
    if (pid == 0) {
        int rc = 0;
        try {
            body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "child: %s\n", e.what());
            rc = 3;
        }
        _exit(rc);
    }
    return pid;
}

int WaitChild(pid_t pid) {
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

TEST(Sharing, ExclusiveAndSharedOpensExcludeEachOther) {
    TempDir dir;
    MakeTable(dir / "t.dbf");
    {
        auto a = TDbfTable::Open(dir / "t.dbf");
        auto b = TDbfTable::Open(dir / "t.dbf", {.ReadOnly = true});
        EXPECT_EQ(ErrorCodeOf([&] { TDbfTable::Open(dir / "t.dbf", {.Exclusive = true}); }), DBIERR_FILELOCKED);
    }
    {
        auto x = TDbfTable::Open(dir / "t.dbf", {.Exclusive = true});
        EXPECT_EQ(ErrorCodeOf([&] { TDbfTable::Open(dir / "t.dbf"); }), DBIERR_FILELOCKED);
        EXPECT_EQ(ErrorCodeOf([&] { TDbfTable::Open(dir / "t.dbf", {.Exclusive = true}); }), DBIERR_FILELOCKED);
    }
    // Across processes: a child holds the table exclusively until told to let go.
    int toChild[2], fromChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(fromChild), 0);
    pid_t pid = ForkChild([&] {
        auto x = TDbfTable::Open(dir / "t.dbf", {.Exclusive = true});
        char c = 'o';
        if (write(fromChild[1], &c, 1) != 1) _exit(4);
        if (read(toChild[0], &c, 1) != 1) _exit(5);
    });
    char c;
    ASSERT_EQ(read(fromChild[0], &c, 1), 1);
    EXPECT_EQ(ErrorCodeOf([&] { TDbfTable::Open(dir / "t.dbf", {.ReadOnly = true}); }), DBIERR_FILELOCKED);
    ASSERT_EQ(write(toChild[1], &c, 1), 1);
    EXPECT_EQ(WaitChild(pid), 0);
    EXPECT_NO_THROW(TDbfTable::Open(dir / "t.dbf"));
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
}

TEST(Sharing, WritersInTwoProcessesNeverInterleave) {
    TempDir dir;
    MakeTable(dir / "t.dbf");
    const int perWriter = 150;
    auto reader = TDbfTable::Open(dir / "t.dbf", {.ReadOnly = true});
    std::vector<pid_t> kids;
    for (char who : {'a', 'b'})
        kids.push_back(ForkChild([&, who] {
            auto t = TDbfTable::Open(dir / "t.dbf");
            for (int i = 1; i <= perWriter; ++i) {
                TDbfRecord r(t);
                Fill(r, who, i, 0);
                t->Post(r);
                if (i % 3 == 0) {  // and rewrite one of its own records in place
                    TDbfRecord u(t);
                    u.Load(r.RecNo());
                    Fill(u, who, i, 1);
                    t->Post(u);
                }
            }
        }));
    for (pid_t k : kids) EXPECT_EQ(WaitChild(k), 0);
    // The reader that was open all along sees every record once it refreshes.
    TDbfCursor cur(reader);
    EXPECT_EQ(cur.RecordCount(), uint32_t(2 * perWriter));
    std::set<std::pair<char, int>> seen;
    TDbfRecord r(reader);
    cur.SetToBegin();
    while (cur.Next() == DBIERR_NONE) {
        cur.GetRecord(r);
        char who = r.GetText(0)[0];
        int seq = std::atoi(r.GetText(1).c_str());
        int v = Check(r, who, seq);
        EXPECT_EQ(v, seq % 3 == 0 ? 1 : 0) << who << seq;
        EXPECT_TRUE(seen.insert({who, seq}).second);
    }
    EXPECT_EQ(seen.size(), size_t(2 * perWriter));
}

TEST(CrashSafety, PostedRecordsSurviveAKilledWriter) {
    std::mt19937 rng(20261211);
    for (int round = 0; round < 12; ++round) {
        TempDir dir;
        MakeTable(dir / "t.dbf");
        int ack[2];
        ASSERT_EQ(pipe(ack), 0);
        pid_t pid = ForkChild([&] {
            close(ack[0]);
            // Every other round syncs each post to stable storage as well.
            auto t = TDbfTable::Open(dir / "t.dbf", {.Durable = round % 2 == 1});
            std::vector<int> versions;
            for (int i = 1;; ++i) {
                TDbfRecord r(t);
                Fill(r, 'w', i, 0);
                t->Post(r);
                versions.push_back(0);
                std::string msg = "A " + std::to_string(i) + "\n";
                if (write(ack[1], msg.data(), msg.size()) < 0) _exit(6);
                int j = 1 + int(unsigned(i * 7919) % unsigned(i));
                TDbfRecord u(t);
                u.Load(uint32_t(j));
                Fill(u, 'w', j, ++versions[size_t(j - 1)]);
                t->Post(u);
                msg = "U " + std::to_string(j) + " " + std::to_string(versions[size_t(j - 1)]) + "\n";
                if (write(ack[1], msg.data(), msg.size()) < 0) _exit(6);
            }
        });
        close(ack[1]);
        usleep(useconds_t(2000 + rng() % 60000));
        kill(pid, SIGKILL);
        WaitChild(pid);
        // Every acknowledged post, as the writer last acknowledged it (or the one in flight).
        std::string log;
        char buf[4096];
        ssize_t n;
        while ((n = read(ack[0], buf, sizeof buf)) > 0) log.append(buf, size_t(n));
        close(ack[0]);
        std::vector<int> acked;
        size_t pos = 0;
        while (true) {
            size_t nl = log.find('\n', pos);
            if (nl == std::string::npos) break;
            std::string line = log.substr(pos, nl - pos);
            pos = nl + 1;
            int a = 0, b = 0;
            if (line[0] == 'A' && std::sscanf(line.c_str(), "A %d", &a) == 1) acked.push_back(0);
            else if (std::sscanf(line.c_str(), "U %d %d", &a, &b) == 2) acked[size_t(a - 1)] = b;
        }
        auto t = TDbfTable::Open(dir / "t.dbf");
        ASSERT_GE(t->RecordCount(), acked.size()) << "round " << round;
        ASSERT_LE(t->RecordCount(), acked.size() + 1) << "round " << round;
        TDbfRecord r(t);
        for (uint32_t i = 1; i <= t->RecordCount(); ++i) {
            r.Load(i);
            int v = Check(r, 'w', int(i));
            ASSERT_GE(v, 0) << "round " << round << " record " << i << " is torn";
            if (i <= acked.size()) {
                EXPECT_GE(v, acked[i - 1]) << "round " << round << " record " << i;
                EXPECT_LE(v, acked[i - 1] + 1) << "round " << round << " record " << i;
            }
        }
    }
}

TEST(CrashSafety, AKilledPackLeavesAWholeTable) {
    std::mt19937 rng(7);
    TempDir dir;
    MakeTable(dir / "src.dbf");
    const int total = 1500;
    {
        auto t = TDbfTable::Open(dir / "src.dbf", {.Exclusive = true});
        for (int i = 1; i <= total; ++i) {
            TDbfRecord r(t);
            Fill(r, 'p', i, 0);
            t->Post(r);
            if (i % 3 == 0) t->SetDeleted(uint32_t(i), true);
        }
    }
    // How long a whole pack takes here, to spread the kills across it.
    ASSERT_EQ(bdetest::Run("cp " + dir / "src.dbf " + dir / "p.dbf && cp " + dir / "src.dbt " + dir / "p.dbt").Status, 0);
    auto start = std::chrono::steady_clock::now();
    TDbfTable::Open(dir / "p.dbf", {.Exclusive = true})->Pack();
    long micros = long(std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count());
    int sawOld = 0, sawNew = 0;
    for (int round = 0; round < 12; ++round) {
        ASSERT_EQ(bdetest::Run("cp " + dir / "src.dbf " + dir / "p.dbf && cp " + dir / "src.dbt " + dir / "p.dbt").Status, 0);
        pid_t pid = ForkChild([&] { TDbfTable::Open(dir / "p.dbf", {.Exclusive = true})->Pack(); });
        usleep(useconds_t(rng() % uint32_t(micros + micros / 4 + 1)));
        kill(pid, SIGKILL);
        WaitChild(pid);
        auto t = TDbfTable::Open(dir / "p.dbf");
        TDbfCursor c(t);
        c.SetShowDeleted(true);
        bool packed = t->RecordCount() == uint32_t(total - total / 3);
        ASSERT_TRUE(packed || t->RecordCount() == uint32_t(total)) << t->RecordCount();
        (packed ? sawNew : sawOld)++;
        TDbfRecord r(t);
        int expectSeq = 0;
        c.SetToBegin();
        while (c.Next() == DBIERR_NONE) {
            c.GetRecord(r);
            do ++expectSeq;
            while (packed && expectSeq % 3 == 0);
            ASSERT_EQ(Check(r, 'p', expectSeq), 0) << "round " << round << " record " << c.RecNo();
            EXPECT_EQ(r.Deleted(), !packed && expectSeq % 3 == 0);
        }
        t.reset();
        EXPECT_EQ(bdetest::Run("ls " + dir.Path() + " | grep -c -e packing -e pack-commit").Out, "0\n");
    }
    std::printf("killed packs: %d left the old table, %d the packed one\n", sawOld, sawNew);
}

TEST(CrashSafety, OpenFinishesOrDropsAnInterruptedPack) {
    TempDir dir;
    MakeTable(dir / "t.dbf");
    {
        auto t = TDbfTable::Open(dir / "t.dbf", {.Exclusive = true});
        for (int i = 1; i <= 30; ++i) {
            TDbfRecord r(t);
            Fill(r, 'k', i, 0);
            t->Post(r);
            if (i % 2 == 0) t->SetDeleted(uint32_t(i), true);
        }
    }
    auto sh = [&](const std::string& cmd) { ASSERT_EQ(bdetest::Run("cd " + dir.Path() + " && " + cmd).Status, 0) << cmd; };
    sh("cp t.dbf old.dbf && cp t.dbt old.dbt");
    TDbfTable::Open(dir / "t.dbf", {.Exclusive = true})->Pack();
    sh("mv t.dbf new.dbf && mv t.dbt new.dbt");
    const std::string marker = dir / "t.dbf.pack-commit";
    const std::string lines = dir / "t.dbt.packing\t" + dir / "t.dbt\n" + dir / "t.dbf.packing\t" + dir / "t.dbf\n";

    // Died between the two renames: the memo is already the new one; the open completes it.
    sh("cp old.dbf t.dbf && cp new.dbt t.dbt && cp new.dbf t.dbf.packing");
    bdetest::WriteFile(marker, lines + "end\n");
    {
        auto t = TDbfTable::Open(dir / "t.dbf");
        EXPECT_EQ(t->RecordCount(), 15u);
        TDbfRecord r(t);
        for (uint32_t i = 1; i <= 15; ++i) {
            r.Load(i);
            EXPECT_EQ(Check(r, 'k', int(2 * i - 1)), 0) << i;
        }
    }
    EXPECT_EQ(bdetest::Run("ls " + dir.Path() + " | grep -c -e packing -e pack-commit").Out, "0\n");

    // Died while writing the marker: the old table stays and the new files are dropped.
    sh("cp old.dbf t.dbf && cp old.dbt t.dbt && cp new.dbf t.dbf.packing && cp new.dbt t.dbt.packing");
    bdetest::WriteFile(marker, lines.substr(0, lines.size() - 5));
    {
        auto t = TDbfTable::Open(dir / "t.dbf");
        EXPECT_EQ(t->RecordCount(), 30u);
    }
    EXPECT_EQ(bdetest::Run("ls " + dir.Path() + " | grep -c -e packing -e pack-commit").Out, "0\n");
    EXPECT_EQ(bdetest::ReadFile(dir / "t.dbf"), bdetest::ReadFile(dir / "old.dbf"));
}

TEST(Sharing, AStaleRecordNeverShowsAnotherRecordsMemo) {
    TempDir dir;
    MakeTable(dir / "t.dbf");
    auto writer = TDbfTable::Open(dir / "t.dbf");
    TDbfRecord w(writer);
    Fill(w, 's', 1, 0);
    writer->Post(w);
    auto reader = TDbfTable::Open(dir / "t.dbf", {.ReadOnly = true});
    TDbfRecord stale(reader);
    stale.Load(1);
    const uint32_t oldBlock = stale.MemoBlock(3);
    // The writer replaces record 1's memo and a new record takes the freed blocks.
    Fill(w, 's', 1, 1);
    writer->Post(w);
    TDbfRecord other(writer);
    Fill(other, 's', 1, 7);
    other.SetMemo(3, "someone else's memo");
    writer->Post(other);
    ASSERT_EQ(other.MemoBlock(3), oldBlock);
    TDbfRecord fresh(writer);
    fresh.Load(1);
    EXPECT_EQ(stale.GetMemo(3), fresh.GetMemo(3));
}

TEST(Sharing, ReadAheadSurvivesRefreshesUntilAnotherOpenWrites) {
    TempDir dir;
    MakeTable(dir / "t.dbf");
    auto writer = TDbfTable::Open(dir / "t.dbf");
    for (int i = 1; i <= 60; ++i) {
        TDbfRecord r(writer);
        Fill(r, 'g', i, 0);
        writer->Post(r);
    }
    // Past the file's last change by more than a clock tick: a write from now on shows.
    usleep(30000);
    auto grid = TDbfTable::Open(dir / "t.dbf");
    TDbfCursor c(grid);
    TDbfRecord row(grid);
    auto version = [&](uint32_t recNo) {
        EXPECT_EQ(c.SetToRecordNo(recNo), DBIERR_NONE);
        c.GetRecord(row);
        return Check(row, 'g', int(recNo));
    };
    auto showRows = [&] {
        for (uint32_t n = 1; n <= 40; ++n) ASSERT_EQ(version(n), 0);
    };
    c.RecordCount();
    showRows();
    // A grid asks for the count, goes to either end and shows its rows on every scroll: with
    // the file unchanged, nothing is read again.
    const uint64_t reads = grid->RecordReads();
    for (int scroll = 0; scroll < 50; ++scroll) {
        EXPECT_EQ(c.RecordCount(), 60u);
        EXPECT_EQ(c.First(), DBIERR_NONE);
        c.SetToEnd();
        showRows();
    }
    EXPECT_EQ(grid->RecordReads(), reads);

    // Each of those calls still shows what another open wrote just before it: an update in
    // place (same size and count) and an append.
    const std::vector<std::pair<const char*, std::function<void()>>> refreshes = {
        {"RecordCount", [&] { c.RecordCount(); }}, {"First", [&] { c.First(); }}, {"SetToEnd", [&] { c.SetToEnd(); }}};
    int v = 0;
    for (auto& [name, refresh] : refreshes) {
        for (int round = 0; round < 5; ++round) {  // back to back, mostly within one clock tick
            TDbfRecord u(writer);
            u.Load(7);
            Fill(u, 'g', 7, ++v);
            writer->Post(u);
            refresh();
            EXPECT_EQ(version(7), v) << name << " round " << round;
        }
        TDbfRecord a(writer);
        uint32_t n = grid->RecordCount() + 1;
        Fill(a, 'g', int(n), 0);
        writer->Post(a);
        refresh();
        EXPECT_EQ(grid->RecordCount(), n) << name;
        EXPECT_EQ(version(n), 0) << name;
    }
}

// A write within the time unit of the last change may leave the file's times as they were, so
// an unchanged stamp proves nothing until the clock has passed that unit.
TEST(Sharing, FileStampVouchesOnlyOnceItsTimeUnitHasPassed) {
    const int64_t second = 1000000000, t = 1700000000 * second;
    const struct {
        int64_t Changed, Unit;
    } cases[] = {{t + 123456789, 1},  {t + 123456700, 100}, {t + 120000000, 10000000},
                 {t + 500000000, 100000000}, {t, 2 * second}};
    for (const auto& k : cases) {
        TFileStamp stamp;
        stamp.ChangedNs = k.Changed;
        EXPECT_FALSE(stamp.SettledAt(k.Changed + k.Unit - 1)) << k.Changed % second;
        EXPECT_TRUE(stamp.SettledAt(k.Changed + k.Unit)) << k.Changed % second;
    }
}
