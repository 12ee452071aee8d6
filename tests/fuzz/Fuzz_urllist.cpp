// URL list files: read, written back, read again.
#include "FuzzCheck.h"
#include "urllist/JobId.h"
#include "urllist/UrlListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const ListFormat format = ListFormat(1 + data[0] % 3);
    const int idKind = data[0] / 3 % 2;
    const QList<QByteArray> lines = SplitListLines(Fuzz::Bytes(data + 1, size - 1));
    const QList<TUrlJob> jobs = MakeJobs(lines, format, idKind, 0);
    FUZZ_REQUIRE(jobs.size() == lines.size(), "every line is a row");
    for (const TUrlJob& job : jobs) {
        FUZZ_REQUIRE(!job.Url.contains('\n') && !job.Url.contains('\r') && !job.Url.contains('\0'),
                     "a row's address holds no line break or NUL");
        if (format == ListFormat::OneUrlPerLine) FUZZ_REQUIRE(IsSafeFileId(job.Id), "a made ID is a file name");
    }
    const QList<TUrlJob> again = MakeJobs(SplitListLines(FormatListFile(jobs, format)), format, idKind, 0);
    FUZZ_REQUIRE(again.size() == jobs.size(), "a list written and read again has its rows");
    for (qsizetype i = 0; i < jobs.size(); ++i)
        FUZZ_REQUIRE(again[i].Id == jobs[i].Id && again[i].Url == jobs[i].Url,
                     "a list written and read again has its IDs and addresses");
    return 0;
}
