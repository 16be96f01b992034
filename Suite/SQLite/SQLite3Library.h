#pragma once

#include <sqlite3.h>

#include <string>

// The SQLite functions the connection calls.
struct SQLite3Api
{
    decltype(&sqlite3_open_v2) open_v2;
    decltype(&sqlite3_errmsg) errmsg;
    decltype(&sqlite3_errstr) errstr;
    decltype(&sqlite3_busy_timeout) busy_timeout;
    decltype(&sqlite3_exec) exec;
    decltype(&sqlite3_free) free;
    decltype(&sqlite3_close_v2) close_v2;
    decltype(&sqlite3_shutdown) shutdown;
};

// The SQLite library, loaded while at least one connection is open and
// unloaded after the last one closes: the host reads its database once at
// start and then seldom, and need not keep the library mapped at rest.
class SQLite3Library
{
public:
    // The functions, with the library loaded for the caller until its
    // release(); null, with the reason in `error`, when it cannot be loaded.
    static const SQLite3Api* acquire(std::string& error);
    // Ends one successful acquire; the last one unloads the library.
    static void release();
};
