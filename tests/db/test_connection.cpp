#include "db/ADOConnection.h"
#include "db/DatabaseError.h"
#include "tests/support/Printers.h"
#include "tests/support/TempDatabase.h"

#include <QFile>

#include <gtest/gtest.h>

using testsupport::TempDatabase;

TEST(Connection, OpensDbMdbInTheWorkingDirectory)
{
    TempDatabase db;
    db.enter();
    TADOConnection connection;
    connection.setConnected(true);
    EXPECT_TRUE(connection.Connected());
    EXPECT_TRUE(connection.database().isOpen());
}
