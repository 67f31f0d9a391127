#include <string>
#include <string_view>

#include "tools/devservice/DevService.h"

namespace tarnel::dev {

namespace {

struct Page {
  std::string_view prefix;  // the path, or its beginning when it ends in "/"
  std::string_view title;
  std::string_view text;
  std::string_view colour;
};

// Each address the program builds on the development service's hosts.
constexpr Page kPages[] = {
    {"/ts-tarnel", "Terms of Service · 服务条款",
     "These are the terms of service of the Tarnel development service. They bind nobody: this service runs on "
     "your own machine for development. 这是开发服务的服务条款，仅供开发使用。",
     "#2f6fed"},
    {"/pp-tarnel", "Privacy Policy · 隐私政策",
     "The development service keeps what the program sends only in its own memory and forgets it when it stops. "
     "开发服务只在内存中保存程序发送的数据，停止时即丢弃。",
     "#1f9d74"},
    {"/apps", "Get Tarnel · 下载 Tarnel",
     "You were invited to Tarnel. Install the program and enter the invitation code in its settings. "
     "您收到了 Tarnel 的邀请：安装程序后在设置中填写邀请码。",
     "#7b4bd6"},
    {"/sharer/", "My Rewards · 我的奖励",
     "Invited friends: 2. Rewards earned: 14 days of membership. "
     "已邀请好友：2 位。获得奖励：14 天会员。",
     "#e07b12"},
    {"/tarnel/app/share/help.html", "Rules · 规则",
     "Share your invitation code. When a friend binds it, you both get seven days of membership. "
     "分享您的邀请码，好友绑定后双方各得七天会员。",
     "#e07b12"},
    {"/pay/order/", "Development payment page · 开发支付页面",
     "This is a development payment page: nothing is sold and nothing is charged here. "
     "这是开发用的支付页面：不会出售任何商品，也不会扣款。",
     "#c23b3b"},
    {"/custom/", "Support · 客服",
     "The development service's support desk. Write to support@tarnel.test; the service prints what it "
     "receives. 开发服务的客服页面。",
     "#2f6fed"},
    {"/help/", "Help Centre · 帮助中心",
     "Questions and answers about Tarnel, served by the development service. 由开发服务提供的常见问题。", "#1f9d74"},
    {"/tarnel/app/faq/", "Help · 帮助", "Frequently asked questions. 常见问题。", "#1f9d74"},
    {"/tarnel/app/zl/pc-location.html", "Tarnel on your phone · 手机版 Tarnel",
     "Tarnel for Android and iOS, as the development service shows it. 手机版 Tarnel 下载页面。", "#7b4bd6"},
    {"/navigation/", "Navigation · 导航", "Useful sites, as the development service lists them. 常用网站导航。",
     "#2f6fed"},
    {"/promotion/", "Development promotion · 开发推广活动",
     "A promotion of the development service: one month of membership for the price of none. "
     "开发服务的推广活动。",
     "#e07b12"},
    {"/browser-check/", "Browser check · 浏览器检测",
     "If you read this page through the tunnel, your browser reaches the world through Tarnel. "
     "能看到本页即表示浏览器已通过 Tarnel 上网。",
     "#1f9d74"},
    {"/", "Tarnel", "The official site of Tarnel, as the development service serves it. Tarnel 官方网站（开发服务）。",
     "#2f6fed"},
};

bool matches(std::string_view prefix, std::string_view path) {
  if (prefix == "/") return path == "/";
  return path.substr(0, prefix.size()) == prefix;
}

std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string html(std::string_view title, std::string_view text, std::string_view colour) {
  std::string page = "<!doctype html><html><head><meta charset=\"utf-8\"><title>";
  page += title;
  page +=
      "</title><style>body{margin:0;font-family:sans-serif;background:#f4f6fb;color:#1c2333}"
      "header{padding:32px 24px;color:#fff;background:";
  page += colour;
  page +=
      "}h1{margin:0;font-size:26px}main{padding:24px;font-size:16px;line-height:1.5}"
      "footer{padding:0 24px;color:#6b7385;font-size:13px}</style></head><body><header><h1>";
  page += title;
  page += "</h1></header><main><p>";
  page += text;
  page += "</p></main><footer>Tarnel development service</footer></body></html>";
  return page;
}

// A flag picture: the country code on a plain field, enough to tell the rows apart.
std::string flag(std::string_view code) {
  std::string svg =
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 64\">"
      "<circle cx=\"32\" cy=\"32\" r=\"31\" fill=\"#2f6fed\"/><text x=\"32\" y=\"41\" font-size=\"24\" "
      "font-family=\"sans-serif\" fill=\"#fff\" text-anchor=\"middle\">";
  svg += escaped(code.substr(0, 2));
  svg += "</text></svg>";
  return svg;
}

test::CannedReply withType(test::CannedReply reply, const char* type) {
  reply.headers.push_back({"Content-Type", type});
  return reply;
}

}  // namespace

test::CannedReply devSitePage(const test::ReceivedRequest& request) {
  // The hosts' probes: the official site's, the payment hosts'.
  if (request.path == "/v5-web/test" || request.path == "/test") return test::CannedReply::text(200, "ok");
  constexpr std::string_view kFlags = "/17s/country/";
  if (request.path.rfind(kFlags, 0) == 0) {
    return withType(test::CannedReply::text(200, flag(request.path.substr(kFlags.size()))), "image/svg+xml");
  }
  for (const Page& page : kPages) {
    if (matches(page.prefix, request.path)) {
      return withType(test::CannedReply::text(200, html(page.title, page.text, page.colour)),
                      "text/html; charset=utf-8");
    }
  }
  return withType(
      test::CannedReply::text(404,
                              html("Page not found · 页面不存在",
                                   "The development service has no page at " + escaped(request.path) + ".", "#6b7385"),
                              "Not Found"),
      "text/html; charset=utf-8");
}

}  // namespace tarnel::dev
