#include "odbc_picker.h"

#include <gtest/gtest.h>

using namespace tramelo;

namespace {

struct PickerCase {
    OdbcSourceChoice choice;
    const char *connectString;
};

class PickerConnectString : public testing::TestWithParam<PickerCase> {};

TEST_P(PickerConnectString, StartsWithOdbcAndNamesTheSource)
{
    const PickerCase &c = GetParam();
    EXPECT_EQ(odbcPickerConnectString(c.choice), QString::fromUtf8(c.connectString));
}

using Kind = OdbcSourceChoice::Kind;

INSTANTIATE_TEST_SUITE_P(Cases, PickerConnectString, testing::Values(
    PickerCase{{Kind::DataSource, "Clients", "", "anna", "secret"}, "ODBC;DSN=Clients;UID=anna;PWD=secret"},
    // Nothing typed: the data source's own user and password apply.
    PickerCase{{Kind::DataSource, "Clients", "", "", ""}, "ODBC;DSN=Clients"},
    PickerCase{{Kind::Driver, "SQLite3", "Database=/home/anna/clients.db;", "", ""},
               "ODBC;DRIVER={SQLite3};Database=/home/anna/clients.db"},
    PickerCase{{Kind::Driver, "MySQL ODBC 8.0 Unicode Driver", "SERVER=127.0.0.1;DATABASE=botiga", "anna", "x"},
               "ODBC;DRIVER={MySQL ODBC 8.0 Unicode Driver};SERVER=127.0.0.1;DATABASE=botiga;UID=anna;PWD=x"},
    // Values that would end the attribute or lose their spaces go in braces.
    PickerCase{{Kind::DataSource, "Clients", "", "anna", "a;b"}, "ODBC;DSN=Clients;UID=anna;PWD={a;b}"},
    PickerCase{{Kind::DataSource, "Clients", "", "anna", "{x}"}, "ODBC;DSN=Clients;UID=anna;PWD={{x}}}"},
    PickerCase{{Kind::DataSource, "Clients", "", " anna", "ç"}, "ODBC;DSN=Clients;UID={ anna};PWD=ç"}));

} // namespace
