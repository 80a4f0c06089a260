#include "rozuzed/journal/sqlite_database.h"

#include <gtest/gtest.h>

#include "rozuzed/testing/temporary_folder.h"

namespace rozuzed {
namespace {

using Arguments = std::vector<SqlValue>;

int64_t countRows(SqliteDatabase& db, const std::string& table) {
  return db.write([&](SqliteConnection& c) {
    return std::get<int64_t>(*c.fetchValue("SELECT COUNT(*) FROM " + table));
  });
}

TEST(SqliteDatabaseTest, AFailingBodyRollsBackEverythingItDid) {
  auto db = SqliteDatabase::openInMemory();
  db->write([](SqliteConnection& c) { c.execute("CREATE TABLE t (x INTEGER NOT NULL)"); });

  EXPECT_THROW(db->write([](SqliteConnection& c) {
    c.execute("INSERT INTO t (x) VALUES (?)", Arguments{int64_t{1}});
    throw std::logic_error("the body gave up");
  }),
               std::logic_error);
  try {
    db->write([](SqliteConnection& c) {
      c.execute("INSERT INTO t (x) VALUES (?)", Arguments{int64_t{2}});
      c.execute("INSERT INTO t (x) VALUES (?)", Arguments{SqlValue()});
    });
    ADD_FAILURE() << "a NULL was accepted";
  } catch (const SqliteError& error) {
    EXPECT_STREQ(error.what(), "NOT NULL constraint failed: t.x");
  }
  EXPECT_EQ(countRows(*db, "t"), 0);

  db->write([](SqliteConnection& c) {
    c.execute("INSERT INTO t (x) VALUES (?)", Arguments{int64_t{3}});
  });
  EXPECT_EQ(countRows(*db, "t"), 1);
}

TEST(SqliteDatabaseTest, MisusedStatementsAreRefused) {
  auto db = SqliteDatabase::openInMemory();
  db->write([](SqliteConnection& c) { c.execute("CREATE TABLE t (x)"); });
  EXPECT_THROW(
      db->write([](SqliteConnection& c) { c.execute("INSERT INTO t VALUES (1); DROP TABLE t"); }),
      SqliteError);
  EXPECT_THROW(db->write([](SqliteConnection& c) {
    c.execute("INSERT INTO t VALUES (?)", Arguments{int64_t{1}, int64_t{2}});
  }),
               SqliteError);
  EXPECT_THROW(db->write([](SqliteConnection& c) { c.execute("SELECT nonsense FROM t"); }),
               SqliteError);
  EXPECT_EQ(countRows(*db, "t"), 0);
}

TEST(SqliteDatabaseTest, RowsAreReadByColumnNameAndStorageClass) {
  auto db = SqliteDatabase::openInMemory();
  auto row = db->write([](SqliteConnection& c) {
    return c.fetchOne("SELECT ? AS t, ? AS i, ? AS r, ? AS b, NULL AS n",
                      Arguments{std::string("text"), int64_t{-5}, 2.5, SqlBlob{"\0x"}});
  });
  ASSERT_TRUE(row);
  EXPECT_EQ(row->text("t"), "text");
  EXPECT_EQ(row->integer("i"), -5);
  EXPECT_EQ(row->real("r"), 2.5);
  EXPECT_EQ(row->real("i"), -5.0);
  EXPECT_EQ(row->bytes("b"), std::string("\0x"));
  EXPECT_EQ(row->bytes("t"), "text");
  EXPECT_TRUE(row->isNull("n"));
  EXPECT_TRUE(row->isNull("missing"));
  EXPECT_FALSE(row->integer("r"));
  EXPECT_FALSE(row->text("i"));
  EXPECT_FALSE(row->real("t"));
  EXPECT_FALSE(row->text("b"));
}

TEST(SqliteDatabaseTest, RowsHandedOverOneAtATimeAndAReaderThatGivesUpMidway) {
  auto db = SqliteDatabase::openInMemory();
  db->write([](SqliteConnection& c) {
    c.execute("CREATE TABLE t (x INTEGER)");
    for (int64_t x : {3, 1, 2}) c.execute("INSERT INTO t (x) VALUES (?)", Arguments{x});
  });
  const std::string query = "SELECT x FROM t WHERE x > ? ORDER BY x";
  auto read = [&](SqliteConnection& c, int64_t above, int stopAt) {
    std::vector<int64_t> seen;
    c.fetchEach(query, Arguments{above}, [&](SqlRow&& row) {
      if (static_cast<int>(seen.size()) == stopAt) throw std::runtime_error("enough");
      seen.push_back(*row.integer("x"));
    });
    return seen;
  };

  EXPECT_EQ(db->write([&](SqliteConnection& c) { return read(c, 0, -1); }),
            (std::vector<int64_t>{1, 2, 3}));
  EXPECT_THROW(db->write([&](SqliteConnection& c) {
    c.execute("INSERT INTO t (x) VALUES (4)");
    return read(c, 0, 1);
  }),
               std::runtime_error);
  // The statement left midway is reset: it reads afresh, and nothing of the
  // abandoned body was kept.
  EXPECT_EQ(db->write([&](SqliteConnection& c) { return read(c, 1, -1); }),
            (std::vector<int64_t>{2, 3}));
}

TEST(SqliteDatabaseTest, MigrationsRunOnceEachInOrder) {
  testing::TemporaryFolder folder;
  std::vector<std::string> ran;
  bool secondFails = true;
  std::vector<SqlMigration> steps{
      {"one",
       [&](SqliteConnection& c) {
         ran.push_back("one");
         c.execute("CREATE TABLE a (x)");
       }},
      {"two",
       [&](SqliteConnection& c) {
         ran.push_back("two");
         c.execute("CREATE TABLE b (x)");
         if (secondFails) throw std::runtime_error("step two failed");
       }},
  };
  {
    auto db = SqliteDatabase::open(folder / "m.sqlite");
    EXPECT_THROW(db->migrate(steps), std::runtime_error);
    // The failed step left nothing behind; the one before it stays.
    EXPECT_EQ(db->appliedMigrations(), std::vector<std::string>{"one"});
    EXPECT_THROW(countRows(*db, "b"), SqliteError);
    EXPECT_EQ(countRows(*db, "a"), 0);
  }
  secondFails = false;
  auto db = SqliteDatabase::open(folder / "m.sqlite");
  db->migrate(steps);
  db->migrate(steps);
  EXPECT_EQ(ran, (std::vector<std::string>{"one", "two", "two"}));
  EXPECT_EQ(db->appliedMigrations(), (std::vector<std::string>{"one", "two"}));
}

TEST(SqliteDatabaseTest, AFileFromALaterVersionIsRefusedUntouched) {
  auto db = SqliteDatabase::openInMemory();
  bool ran = false;
  std::vector<SqlMigration> known{{"v1", [](SqliteConnection&) {}},
                                  {"v2", [&](SqliteConnection&) { ran = true; }}};
  db->write([](SqliteConnection& c) {
    c.execute(std::string("CREATE TABLE ") + SqliteDatabase::migrationsTable +
              " (identifier TEXT NOT NULL PRIMARY KEY)");
    c.execute(std::string("INSERT INTO ") + SqliteDatabase::migrationsTable +
              " VALUES ('v1'), ('v3')");
  });
  try {
    db->migrate(known);
    ADD_FAILURE() << "migrated a later file";
  } catch (const UnknownMigrationError& error) {
    EXPECT_NE(std::string(error.what()).find("\"v3\""), std::string::npos) << error.what();
  }
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace rozuzed
