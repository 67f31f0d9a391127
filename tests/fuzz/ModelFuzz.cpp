// Feeds arbitrary text to every model decoder. Besides crashes and sanitizer reports it checks
// that whatever decodes writes itself back in a form that decodes to the same value.
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>

#include "services/connection/Config.h"
#include "services/log/ReportData.h"
#include "services/model/APIErrorInfo.h"
#include "services/model/CouponModels.h"
#include "services/model/DeviceModels.h"
#include "services/model/HttpDnsModels.h"
#include "services/model/LinkModels.h"
#include "services/model/LiveModels.h"
#include "services/model/LoginModels.h"
#include "services/model/NodeModels.h"
#include "services/model/NoticeModels.h"
#include "services/model/OpenModels.h"
#include "services/model/PaymentModels.h"
#include "services/model/ProductModels.h"
#include "services/model/RuleModels.h"
#include "services/model/ServerSettingsModels.h"
#include "services/model/UserModels.h"

namespace {

using namespace tarnel;

[[noreturn]] void fail(const char* what) {
  // stdout is silenced; the finding goes where libFuzzer reports.
  ::write(STDERR_FILENO, what, std::string_view(what).size());
  ::write(STDERR_FILENO, "\n", 1);
  std::abort();
}

// What the model's display properties compute must not crash either.
template <class T>
void touch(const T&) {}
void touch(const User& u) { (void)(u.isGuest() + u.verifyed() + u.isMultipleDevices()); }
void touch(const ProductDetails& p) { (void)(p.discount("zh-Hans").size() + p.discount("en").size()); }
void touch(const CouponCard& c) { (void)(c.expiredString().size() + c.typeName().size() + c.unitName().size() + c.isExpired(1)); }
void touch(const CouponRoll& r) {
  (void)(r.expiredString().size() + r.packageName().size() + r.name().size() + r.unit().size() +
         r.discount("zh-Hant").size() + r.discount("en").size() + r.isExpired(1));
}
void touch(const Coupon& c) {
  for (const auto& card : c.cards) touch(card);
  for (const auto& roll : c.rolls) touch(roll);
}
void touch(const Live& l) { (void)fetchMask(l.other, std::nullopt); }
void touch(const Login& l) {
  touch(l.user);
  if (l.other) (void)fetchMask(*l.other, l.other);
}

template <class T>
void check(std::string_view text) {
  const auto value = fromJson<T>(text);
  if (!value) return;
  touch(*value);
  const auto written = toJson(*value);
  if (!written) fail("a decoded model does not encode");
  const auto again = fromJson<T>(*written);
  if (!again) fail("an encoded model does not decode");
  if (json::encodeValue(*again) != json::encodeValue(*value)) fail("a model changes on its way through JSON");
}

template <class... T>
void checkAll(std::string_view text) {
  (check<T>(text), ...);
}

// Records holding HTTP answers: an answer writes its time as "<n> ms" but reads it as a number,
// so these are decoded and written without asking for the way back.
template <class... T>
void decodeAndWriteAll(std::string_view text) {
  const auto one = [](std::string_view t, auto* tag) {
    using T1 = std::remove_pointer_t<decltype(tag)>;
    if (const auto value = fromJson<T1>(t); value && !toJson(*value)) fail("a decoded model does not encode");
  };
  (one(text, static_cast<T*>(nullptr)), ...);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Every refused input writes a console line; keep them out of the fuzzer's output.
  const int null = ::open("/dev/null", O_WRONLY);
  if (null >= 0) {
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
  }
  ::setenv("TZ", "Asia/Shanghai", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  checkAll<User, Register, ConfigText, Login, Base, Other, Live, Devices, DevicesResult, UpgradeInfo, APIErrorInfo,
           Share, ProductDetails, OpenNode, Node, Nodes, NodeUpTime, Country, Tag, OpenTrun, Open, ProxyRule, Domains,
           PaymentPlansPackages, PaymentPlans, CouponCard, CouponRoll, Coupon, Notice, Notices, Link, PromoteLink,
           OriginDns, HttpDnsBodyDns, HttpDnsBodyUrls, HttpDnsBodyClip, HttpDnsBodyNavi, HttpDnsBody, HttpDns,
           ConfigServer, Config, ReportDeviceInfo, ReportNetworkTest, ReportNetwork, ReportUserInfo>(text);
  decodeAndWriteAll<ReportNodeInfo, ReportAppInfo, ReportData>(text);
  return 0;
}
