#include "RecordFormat.h"

namespace ksv::cli {

std::unique_ptr<TRecordFormat> MakeRecordFormat(TFormat format)
{
    switch (format) {
    case TFormat::Csv: return MakeCsvFormat();
    case TFormat::Json: return MakeJsonFormat();
    case TFormat::Table: break;
    }
    return MakeTableFormat();
}

} // namespace ksv::cli
