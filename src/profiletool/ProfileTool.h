#pragma once

#include <QByteArray>
#include <QStringList>

enum ProfileToolExit {
    ProfileToolOk = 0,
    ProfileToolFailed = 1,
    ProfileToolBadUsage = 2,
};

// Runs one thumbrix-profile command line (arguments[0] is the program). What it prints
// goes to `out` and `err`; the result is the exit status.
int RunProfileTool(const QStringList& arguments, QByteArray* out, QByteArray* err);

// The `show` listing of a decrypted profile: the fields in reading order, then the
// Welcome, Banner and Link entries found, then the stored LastNewsId.
QByteArray DescribeProfile(const QByteArray& plain);
