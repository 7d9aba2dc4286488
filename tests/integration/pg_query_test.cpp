// The database layer against a real PostgreSQL: typed parameters, results, write-back by key,
// stored-function calls, errors.
#include <gtest/gtest.h>

#include "platform/pg/query.h"
#include "support/test_database.h"

using namespace platform::pg;
using testsupport::TestDatabase;

namespace {

class PgQuery : public ::testing::Test {
protected:
    void SetUp() override {
        db.exec(
            "CREATE TABLE t_items (d date NOT NULL, k text NOT NULL, n integer, v numeric,"
            " b bytea, ts timestamp, flag boolean, note text DEFAULT 'implicit',"
            " PRIMARY KEY (d, k))");
        conn.settings() = db.settings();
    }
    TestDatabase db;
    Connection conn;
};

}  // namespace

TEST_F(PgQuery, EveryParameterKindReachesTheServerAsItselfAndReadsBackTyped) {
    Bytes allBytes;
    for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<unsigned char>(i));
    Query q(conn,
            "SELECT :t AS t, :i AS i, :b AS b, :d AS d, :ts AS ts, :bytes AS bytes, :n AS n,"
            " :f AS f, pg_typeof(:i)::text AS i_type, :d + 1 AS next_day");
    q.setParam("t", std::string("șir cu diacritice ăîâ"));
    q.setParam("i", 42);
    q.setParam("b", true);
    q.setParam("d", makeDate(2024, 2, 29));
    q.setParam("ts", makeTimestamp(2024, 3, 1, 23, 59, 0));
    q.setParam("bytes", allBytes);
    q.setParam("n", Value());
    q.setParam("f", 12.25);
    q.open();
    ASSERT_EQ(q.rowCount(), 1);
    EXPECT_EQ(q.field("t").asString(), "șir cu diacritice ăîâ");
    EXPECT_EQ(q.field("i").asInt(), 42);
    EXPECT_TRUE(q.field("b").asBool());
    EXPECT_EQ(*q.field("d").asDate(), makeDate(2024, 2, 29));
    EXPECT_EQ(*q.field("next_day").asDate(), makeDate(2024, 3, 1));
    EXPECT_EQ(*q.field("ts").asTimestamp(), makeTimestamp(2024, 3, 1, 23, 59, 0));
    EXPECT_EQ(q.field("bytes").asBytes(), allBytes);
    EXPECT_TRUE(q.field("n").isNull());
    EXPECT_DOUBLE_EQ(q.field("f").asDouble(), 12.25);
    EXPECT_EQ(q.field("i_type").asString(), "integer");
    EXPECT_THROW(q.setParam("unknown", 1), std::invalid_argument);
    EXPECT_THROW(q.field("missing"), std::invalid_argument);
}

TEST_F(PgQuery, ValuesThatLookLikeSqlAreDataNeverStatementText) {
    Query ins(conn, "INSERT INTO t_items (d, k, note) VALUES (:d, :k, :note)");
    ins.setParam("d", makeDate(2024, 1, 1));
    ins.setParam("k", std::string("x'); DROP TABLE t_items; --"));
    ins.setParam("note", std::string(":k ::text $1"));
    EXPECT_EQ(ins.execute(), 1);
    EXPECT_EQ(db.scalar("SELECT k || '|' || note FROM t_items"), "x'); DROP TABLE t_items; --|:k ::text $1");
}

TEST_F(PgQuery, AppendEditPostAndDeleteAreWrittenBackByKey) {
    Query q(conn, "SELECT t.*, upper(t.k) AS computed FROM t_items t WHERE t.d >= :from ORDER BY k");
    q.setUpdateTable("t_items", {"d", "k"});
    q.setParam("from", makeDate(2000, 1, 1));
    q.open();
    EXPECT_TRUE(q.isEmpty());

    q.append();
    q.setField("d", makeDate(2024, 5, 6));
    q.setField("k", std::string("a"));
    q.setField("b", Bytes{0, 1, 2});
    q.post();
    // a column not set keeps the table's default, read back from the server
    EXPECT_EQ(q.field("note").asString(), "implicit");
    q.append();
    q.setField("d", makeDate(2024, 5, 6));
    q.setField("k", std::string("b"));
    q.setField("n", 7);
    q.post();
    EXPECT_EQ(db.scalar("SELECT count(*) FROM t_items"), "2");
    EXPECT_EQ(db.scalar("SELECT encode(b, 'hex') FROM t_items WHERE k = 'a'"), "000102");

    q.setRecNo(0);
    q.edit();
    q.setField("n", 99);
    q.post();
    EXPECT_EQ(db.scalar("SELECT n FROM t_items WHERE k = 'a'"), "99");
    EXPECT_EQ(db.scalar("SELECT n FROM t_items WHERE k = 'b'"), "7");

    q.updateRow(1, {{"note", Value(std::string("edited"))}});
    EXPECT_EQ(db.scalar("SELECT note FROM t_items WHERE k = 'b'"), "edited");

    q.deleteRow(0);
    EXPECT_EQ(db.scalar("SELECT string_agg(k, ',') FROM t_items"), "b");
    EXPECT_EQ(q.rowCount(), 1);

    // refresh keeps the current row by its key
    db.exec("INSERT INTO t_items (d, k) VALUES ('2024-05-06', 'a0')");
    q.setRecNo(0);
    q.refresh();
    EXPECT_EQ(q.rowCount(), 2);
    EXPECT_EQ(q.field("k").asString(), "b");
}

TEST_F(PgQuery, ServerErrorsCarryTheServersMessageAndStateAndLeaveTheRowsAsTheyWere) {
    db.exec("INSERT INTO t_items (d, k) VALUES ('2024-01-01', 'dup')");
    Query q(conn, "SELECT * FROM t_items WHERE false");
    q.setUpdateTable("t_items", {"d", "k"});
    q.open();
    q.append();
    q.setField("d", makeDate(2024, 1, 1));
    q.setField("k", std::string("dup"));
    try {
        q.post();
        FAIL() << "duplicate key accepted";
    } catch (const Error& e) {
        EXPECT_EQ(e.sqlstate(), "23505");
        EXPECT_NE(std::string(e.what()).find("duplicate key value violates unique constraint"),
                  std::string::npos);
    }
    q.cancel();
    EXPECT_EQ(q.rowCount(), 0);
    Query bad(conn, "SELECT * FROM no_such_table");
    EXPECT_THROW(bad.open(), Error);
    EXPECT_FALSE(bad.isOpen());
}

TEST_F(PgQuery, StoredFunctionsTakeNamedInputsAndTemporaryTablesLiveOnTheOneConnection) {
    db.exec(
        "CREATE FUNCTION f_pair(p_a text, p_b integer, OUT o_text text, OUT o_num integer)"
        " LANGUAGE sql AS $$ SELECT p_a || '!', p_b * 2 $$");
    StoredProc f(conn, "f_pair");
    f.setParam("p_b", 21);  // order of names does not matter
    f.setParam("p_a", std::string("hi"));
    f.execute();
    EXPECT_EQ(f.result("o_text").asString(), "hi!");
    EXPECT_EQ(f.result("o_num").asInt(), 42);
    EXPECT_THROW(f.result("nope"), std::invalid_argument);

    Query fill(conn, "CREATE TEMP TABLE tmp_x AS SELECT 1 AS a");
    fill.execute();
    Query read(conn, "SELECT a FROM tmp_x");
    read.open();
    EXPECT_EQ(read.field("a").asInt(), 1);
}

TEST(PgConnection, AnUnreachableServerFailsQuicklyWithTheClientsMessage) {
    Connection conn;
    conn.settings().host = "127.0.0.1";
    conn.settings().port = 1;  // nothing listens there
    conn.settings().database = "qor1";
    conn.settings().user = "qor";
    conn.settings().password = "secret-password-value";
    conn.settings().connectTimeoutSeconds = 3;
    try {
        conn.connect();
        FAIL() << "connected to nothing";
    } catch (const Error& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.1"), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find("secret-password-value"), std::string::npos);
    }
}
