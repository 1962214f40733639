// The host framework's types the business unit headers name by pointer or
// reference only; their definitions are in business/CorvelFramework.h.
#pragma once

namespace DBClient {
class TClientDataSet;
}
namespace corvelbase5 {
class TvAction;
class TvActionList;
class TvDMClientDataSet;
class TvProgressRadial;
}  // namespace corvelbase5
namespace corvelbaseutil5 {
class TvCampoValorBase;
class TvCampoValor;
class TvListCampoValor;
class TvListListCampoValor;
}  // namespace corvelbaseutil5
namespace corvelreport5 {
class TvDMPower;
class TvDMPowerParam;
class TvFrmReport;
enum class TvrwExportType;
}  // namespace corvelreport5
