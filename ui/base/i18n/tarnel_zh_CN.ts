<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en">
<context>
    <name></name>
    <message id="%@ is not the correct domain name or IP address.">
        <source>%1 is not a valid domain name or IP address.</source>
        <translation>%1 不是有效的域名或 IP 地址。</translation>
    </message>
    <message id="%@ off">
        <source>%1 off</source>
        <translation>%1折</translation>
    </message>
    <message id="%@(app_version:%lld)">
        <source>%1 (version %2)</source>
        <translation>%1（版本 %2）</translation>
    </message>
    <message id="Account:">
        <source>Account:</source>
        <translation>账号：</translation>
    </message>
    <message id="Advanced">
        <source>Advanced</source>
        <translation>高级</translation>
    </message>
    <message id="Advanced Settings">
        <source>Advanced settings</source>
        <translation>高级设置</translation>
    </message>
    <message id="Africa">
        <source>Africa</source>
        <translation>非洲</translation>
    </message>
    <message id="Agree">
        <source>I agree to the</source>
        <translation>我已阅读并同意</translation>
    </message>
    <message id="Always Block">
        <source>Always block</source>
        <translation>始终拦截</translation>
    </message>
    <message id="Always Direct">
        <source>Always direct</source>
        <translation>始终直连</translation>
    </message>
    <message id="Always Proxy">
        <source>Always proxy</source>
        <translation>始终代理</translation>
    </message>
    <message id="Americas">
        <source>Americas</source>
        <translation>美洲</translation>
    </message>
    <message id="Are you sure to use it?">
        <source>Use this time card now?</source>
        <translation>确定使用这张时长卡吗？</translation>
    </message>
    <message id="Asia">
        <source>Asia</source>
        <translation>亚洲</translation>
    </message>
    <message id="Automatic">
        <source>Automatic</source>
        <translation>自动</translation>
    </message>
    <message id="C">
        <source>C</source>
        <translation>C</translation>
    </message>
    <message id="CSR email: %@">
        <source>Support email: %1</source>
        <translation>客服邮箱：%1</translation>
    </message>
    <message id="Cancel">
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message id="Change Password">
        <source>Change password</source>
        <translation>修改密码</translation>
    </message>
    <message id="Check For Updates">
        <source>Check for updates</source>
        <translation>检查更新</translation>
    </message>
    <message id="Clear Cache">
        <source>Clear cache</source>
        <translation>清除缓存</translation>
    </message>
    <message id="Confirm">
        <source>Confirm</source>
        <translation>确定</translation>
    </message>
    <message id="Confirm deletion">
        <source>Delete account</source>
        <translation>确认注销</translation>
    </message>
    <message id="Confirm password">
        <source>Enter the new password again</source>
        <translation>请再次输入新密码</translation>
    </message>
    <message id="Connection">
        <source>Connection</source>
        <translation>连接设置</translation>
    </message>
    <message id="Connection Check">
        <source>Connection check</source>
        <translation>连接检测</translation>
    </message>
    <message id="Copy Success">
        <source>Copied</source>
        <translation>复制成功</translation>
    </message>
    <message id="Customized DNS">
        <source>Custom DNS</source>
        <translation>自定义 DNS</translation>
    </message>
    <message id="Customized DNS tips">
        <source>The DNS server used while connected. Auto uses the system's resolver.</source>
        <translation>连接时使用的 DNS 服务器。“自动选择”使用系统的解析设置。</translation>
    </message>
    <message id="Debug Log">
        <source>Debug log</source>
        <translation>调试日志</translation>
    </message>
    <message id="Delete Account Tips">
        <source>Deleting your account is permanent. Your membership time, devices, invitation rewards and all other data of the account are erased and cannot be restored.</source>
        <translation>注销账号后不可恢复。账号的会员时长、设备、邀请奖励等全部数据都将被清除，且无法找回。</translation>
    </message>
    <message id="Details of the changes:">
        <source>Changes:</source>
        <translation>变更明细：</translation>
    </message>
    <message id="Devices">
        <source>Devices</source>
        <translation>设备</translation>
    </message>
    <message id="Devices Manager">
        <source>Devices</source>
        <translation>设备管理</translation>
    </message>
    <message id="Devices:">
        <source>Devices:</source>
        <translation>设备数：</translation>
    </message>
    <message id="Disconnect Optimization">
        <source>Auto reconnect</source>
        <translation>断线重连</translation>
    </message>
    <message id="Do not automatically open the system proxy">
        <source>Don't set the system proxy automatically</source>
        <translation>不自动开启系统代理</translation>
    </message>
    <message id="Don't transfer money!">
        <source>Don't transfer any money!</source>
        <translation>请勿转账！</translation>
    </message>
    <message id="Don't use WeChat scanning">
        <source>Don't scan it with WeChat.</source>
        <translation>请勿使用微信扫描</translation>
    </message>
    <message id="Eastern Europe">
        <source>Eastern Europe</source>
        <translation>东欧</translation>
    </message>
    <message id="English">
        <source>English</source>
        <translation>English</translation>
    </message>
    <message id="Europe">
        <source>Europe</source>
        <translation>欧洲</translation>
    </message>
    <message id="Expires:">
        <source>Expires:</source>
        <translation>有效期：</translation>
    </message>
    <message id="Filters">
        <source>Filter by tag</source>
        <translation>按标签筛选</translation>
    </message>
    <message id="Get more rewards">
        <source>Earn more rewards</source>
        <translation>赢取更多奖励</translation>
    </message>
    <message id="I">
        <source>I</source>
        <translation>I</translation>
    </message>
    <message id="I need more equipment">
        <source>I need more devices</source>
        <translation>我需要更多设备</translation>
    </message>
    <message id="Inconsistent passwords">
        <source>The passwords don't match.</source>
        <translation>两次输入的密码不一致。</translation>
    </message>
    <message id="Increase the number of devices">
        <source>Add devices</source>
        <translation>增加设备数</translation>
    </message>
    <message id="Invite more friends">
        <source>Invite your friends</source>
        <translation>邀请更多好友</translation>
    </message>
    <message id="Invited friends are required to fill in this invitation code when they register.">
        <source>Your friends enter this code when they sign up.</source>
        <translation>好友注册时需填写此邀请码。</translation>
    </message>
    <message id="Invitee">
        <source>Invited by</source>
        <translation>邀请人</translation>
    </message>
    <message id="K">
        <source>K</source>
        <translation>K</translation>
    </message>
    <message id="Language">
        <source>Language</source>
        <translation>语言</translation>
    </message>
    <message id="Loading nodes">
        <source>Loading servers…</source>
        <translation>正在加载节点…</translation>
    </message>
    <message id="Loading...">
        <source>Loading…</source>
        <translation>加载中…</translation>
    </message>
    <message id="Max">
        <source>Limit</source>
        <translation>上限</translation>
    </message>
    <message id="Membership Center">
        <source>Membership</source>
        <translation>会员中心</translation>
    </message>
    <message id="Menu Bar Icon">
        <source>Tray icon</source>
        <translation>托盘图标</translation>
    </message>
    <message id="Middle East">
        <source>Middle East</source>
        <translation>中东</translation>
    </message>
    <message id="My Rewards">
        <source>My rewards</source>
        <translation>我的奖励</translation>
    </message>
    <message id="My invitation code">
        <source>My invitation code</source>
        <translation>我的邀请码</translation>
    </message>
    <message id="N/A">
        <source>Never</source>
        <translation>永久有效</translation>
    </message>
    <message id="Network Diagnosis">
        <source>Network diagnosis</source>
        <translation>网络诊断</translation>
    </message>
    <message id="New password">
        <source>Enter a new password</source>
        <translation>请输入新密码</translation>
    </message>
    <message id="No select tag">
        <source>Any tag</source>
        <translation>不限标签</translation>
    </message>
    <message id="Normal Time">
        <source>Standard time</source>
        <translation>普通时长</translation>
    </message>
    <message id="Not Now">
        <source>Not now</source>
        <translation>暂不</translation>
    </message>
    <message id="Note: You cannot downgrade after upgrading.">
        <source>Note: an upgrade cannot be undone.</source>
        <translation>注意：升级后无法降级。</translation>
    </message>
    <message id="Notify">
        <source>Notices</source>
        <translation>公告</translation>
    </message>
    <message id="Oceania">
        <source>Oceania</source>
        <translation>大洋洲</translation>
    </message>
    <message id="Old password">
        <source>Enter your current password</source>
        <translation>请输入当前密码</translation>
    </message>
    <message id="Password changed successfully">
        <source>Password changed.</source>
        <translation>密码修改成功。</translation>
    </message>
    <message id="Please double-check that the address on the payment page is the same as the address after copying and pasting! And use antivirus software to check for Trojans and viruses.">
        <source>Check that the address on the payment page matches the address you pasted, and scan your computer for Trojans and viruses with antivirus software.</source>
        <translation>请仔细核对付款页面上的地址与复制粘贴后的地址是否一致！并使用杀毒软件检查电脑是否有木马和病毒。</translation>
    </message>
    <message id="Please enter the domain and IP">
        <source>One domain or IP address per line</source>
        <translation>每行一个域名或 IP 地址</translation>
    </message>
    <message id="Privacy Policy">
        <source>Privacy Policy</source>
        <translation>隐私政策</translation>
    </message>
    <message id="Processing">
        <source>Testing…</source>
        <translation>检测中…</translation>
    </message>
    <message id="Proxy Rules">
        <source>Proxy rules</source>
        <translation>代理规则</translation>
    </message>
    <message id="Q">
        <source>Q</source>
        <translation>Q</translation>
    </message>
    <message id="Read All">
        <source>Mark all read</source>
        <translation>全部已读</translation>
    </message>
    <message id="Reconnect">
        <source>Reconnect</source>
        <translation>重新连接</translation>
    </message>
    <message id="Registered general version">
        <source>Sign up for the standard plan</source>
        <translation>注册普通版</translation>
    </message>
    <message id="Remaining Time:">
        <source>Time left:</source>
        <translation>剩余时长：</translation>
    </message>
    <message id="Restart">
        <source>Restart</source>
        <translation>重新启动</translation>
    </message>
    <message id="Retrieve Password">
        <source>Forgot password?</source>
        <translation>忘记密码？</translation>
    </message>
    <message id="Rules">
        <source>Rules</source>
        <translation>邀请规则</translation>
    </message>
    <message id="S">
        <source>S</source>
        <translation>S</translation>
    </message>
    <message id="Save failed, please try again later">
        <source>Saving failed. Please try again later.</source>
        <translation>保存失败，请稍后重试。</translation>
    </message>
    <message id="Set up Telegram proxy">
        <source>Set up Telegram proxy</source>
        <translation>设置 Telegram 代理</translation>
    </message>
    <message id="Settings">
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message id="Share Now">
        <source>Share now</source>
        <translation>立即分享</translation>
    </message>
    <message id="Shortcut">
        <source>Shortcuts</source>
        <translation>快捷入口</translation>
    </message>
    <message id="Southeast Asia">
        <source>Southeast Asia</source>
        <translation>东南亚</translation>
    </message>
    <message id="Subscribe">
        <source>Subscribe</source>
        <translation>订阅</translation>
    </message>
    <message id="Taking over the network with a virtual NIC">
        <source>Takes over all network traffic through a virtual network adapter.</source>
        <translation>通过虚拟网卡接管全部网络流量。</translation>
    </message>
    <message id="Tarnel Payment">
        <source>Tarnel payment</source>
        <translation>Tarnel 支付</translation>
    </message>
    <message id="Terminal Proxy">
        <source>Terminal proxy</source>
        <translation>终端代理</translation>
    </message>
    <message id="Terms of Service">
        <source>Terms of Service</source>
        <translation>服务条款</translation>
    </message>
    <message id="Testing done">
        <source>Diagnosis complete</source>
        <translation>检测完成</translation>
    </message>
    <message id="Testing progress">
        <source>Progress</source>
        <translation>检测进度</translation>
    </message>
    <message id="Thank you for your feedback, we will deal with your feedback seriously, repair and improve related functions as soon as possible.">
        <source>Thank you for your feedback. We take every report seriously and will fix and improve things as soon as we can.</source>
        <translation>感谢您的反馈，我们会认真处理，尽快修复和改进相关功能。</translation>
    </message>
    <message id="The &quot;Automatic&quot; option should be left on in most cases. Please only try to specify the protocol manually if automatic is not available.">
        <source>Keep “Automatic” in most cases. Choose a protocol yourself only when Automatic does not work.</source>
        <translation>大多数情况下请保持“自动”。仅当自动无法使用时，再尝试手动指定协议。</translation>
    </message>
    <message id="The address in the clipboard has been tampered with.">
        <source>The address in the clipboard has been tampered with.</source>
        <translation>剪贴板中的地址已被篡改！</translation>
    </message>
    <message id="The domain name and IP entered here will be forced to go through the encrypted channel and will not be connected directly.">
        <source>Domains and IP addresses listed here always go through the encrypted tunnel, never directly.</source>
        <translation>此处填写的域名和 IP 将强制经过加密通道，不会直接连接。</translation>
    </message>
    <message id="The domain name and IP entered here will connect directly, without going through the encrypted channel.">
        <source>Domains and IP addresses listed here connect directly, not through the encrypted tunnel.</source>
        <translation>此处填写的域名和 IP 将直接连接，不经过加密通道。</translation>
    </message>
    <message id="The domain name entered here will be directly blocked from accessing the network.">
        <source>Access to the domains and IP addresses listed here is blocked.</source>
        <translation>此处填写的域名和 IP 将被直接拦截，无法访问。</translation>
    </message>
    <message id="The link has been copied successfully, share it with your friends now!">
        <source>Link copied. Share it with your friends!</source>
        <translation>链接已复制，快分享给好友吧！</translation>
    </message>
    <message id="This option is usually recommended.">
        <source>Recommended for most uses.</source>
        <translation>通常推荐使用此选项。</translation>
    </message>
    <message id="Time Card">
        <source>Time card</source>
        <translation>时长卡</translation>
    </message>
    <message id="Time card used successfully">
        <source>Time card used.</source>
        <translation>时长卡使用成功。</translation>
    </message>
    <message id="Tools">
        <source>Tools</source>
        <translation>工具</translation>
    </message>
    <message id="Trying to log in automatically">
        <source>Signing in automatically…</source>
        <translation>正在自动登录…</translation>
    </message>
    <message id="U">
        <source>U</source>
        <translation>U</translation>
    </message>
    <message id="USD">
        <source>USD</source>
        <translation>美元</translation>
    </message>
    <message id="Unable to bind your own invitation code">
        <source>You can't use your own invitation code.</source>
        <translation>不能绑定自己的邀请码。</translation>
    </message>
    <message id="Unbound">
        <source>Not set</source>
        <translation>未绑定</translation>
    </message>
    <message id="Upgrade failed, please try again later">
        <source>Upgrade failed. Please try again later.</source>
        <translation>升级失败，请稍后再试。</translation>
    </message>
    <message id="Upgrade success">
        <source>Upgrade complete.</source>
        <translation>升级成功。</translation>
    </message>
    <message id="Upgrade to:">
        <source>Upgrade to:</source>
        <translation>升级到：</translation>
    </message>
    <message id="Use">
        <source>Use</source>
        <translation>使用</translation>
    </message>
    <message id="Use encrypted proxies for all network access.">
        <source>All network traffic goes through the encrypted proxy.</source>
        <translation>所有网络访问都经过加密代理。</translation>
    </message>
    <message id="Use the system proxy settings, suitable for browsing the web, watching videos and other scenes. Generally it is recommended to use">
        <source>Uses the system proxy. Suits browsing, video and most everyday uses; recommended in general.</source>
        <translation>使用系统代理设置，适合浏览网页、观看视频等场景，一般推荐使用。</translation>
    </message>
    <message id="Use your mobile phone to scan the QR code and visit the website to download.">
        <source>Scan the QR code with your phone to download the app.</source>
        <translation>用手机扫描二维码，前往网站下载。</translation>
    </message>
    <message id="UseIP">
        <source>IPv4 and IPv6</source>
        <translation>IPv4 和 IPv6</translation>
    </message>
    <message id="UseIPv4">
        <source>IPv4 only</source>
        <translation>仅 IPv4</translation>
    </message>
    <message id="UseIPv6">
        <source>IPv6 only</source>
        <translation>仅 IPv6</translation>
    </message>
    <message id="VIP Expire Date: %@">
        <source>Membership ends: %1</source>
        <translation>会员到期日：%1</translation>
    </message>
    <message id="VIP Remaining Time: %@">
        <source>Time left: %1</source>
        <translation>剩余时长：%1</translation>
    </message>
    <message id="VIP Time">
        <source>Membership time</source>
        <translation>会员时长</translation>
    </message>
    <message id="Verify Email">
        <source>Verify email</source>
        <translation>验证邮箱</translation>
    </message>
    <message id="Voucher">
        <source>Voucher</source>
        <translation>代金券</translation>
    </message>
    <message id="W">
        <source>W</source>
        <translation>W</translation>
    </message>
    <message id="Warning">
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message id="When clicking the close button">
        <source>When closing the window</source>
        <translation>点击关闭按钮时</translation>
    </message>
    <message id="about">
        <source>About</source>
        <translation>关于</translation>
    </message>
    <message id="about content">
        <source>Tarnel keeps your connection private and fast. It encrypts your traffic and picks a good server for you, wherever you are.</source>
        <translation>Tarnel 为您提供安全、快速的网络连接：加密您的流量，并随时为您挑选合适的节点。</translation>
    </message>
    <message id="and">
        <source>and</source>
        <translation>和</translation>
    </message>
    <message id="appTitle">
        <source>Tarnel v%1 - %2</source>
        <translation>Tarnel v%1 - %2</translation>
    </message>
    <message id="are not node">
        <source>No server is available right now. Please try again later.</source>
        <translation>暂无可用节点，请稍后再试。</translation>
    </message>
    <message id="auto">
        <source>Auto</source>
        <translation>自动选择</translation>
    </message>
    <message id="can not open address">
        <source>No application could open %1.</source>
        <translation>没有应用程序能打开 %1。</translation>
    </message>
    <message id="can not open dictory">
        <source>Cannot open the log folder.</source>
        <translation>无法打开日志文件夹。</translation>
    </message>
    <message id="can not open link">
        <source>No web browser could open %1.</source>
        <translation>没有网页浏览器能打开 %1。</translation>
    </message>
    <message id="can not open mail">
        <source>No mail app could write to %1.</source>
        <translation>没有邮件应用能给 %1 写信。</translation>
    </message>
    <message id="check_availability">
        <source>Testing the connection…</source>
        <translation>正在测试连接…</translation>
    </message>
    <message id="check_port">
        <source>Checking ports…</source>
        <translation>正在检测端口…</translation>
    </message>
    <message id="confirm delete account">
        <source>I understand, and I want to delete my account.</source>
        <translation>我已知晓以上内容，确认注销账号</translation>
    </message>
    <message id="confirm password">
        <source>New password</source>
        <translation>请输入新密码</translation>
    </message>
    <message id="connect">
        <source>Connect</source>
        <translation>连接</translation>
    </message>
    <message id="connect model">
        <source>Protocol</source>
        <translation>连接协议</translation>
    </message>
    <message id="connect_success">
        <source>Connected successfully</source>
        <translation>连接成功</translation>
    </message>
    <message id="connected">
        <source>Connected</source>
        <translation>已连接</translation>
    </message>
    <message id="connecting">
        <source>Connecting…</source>
        <translation>正在连接…</translation>
    </message>
    <message id="connection check">
        <source>Connection check</source>
        <translation>连接检测</translation>
    </message>
    <message id="connection check info">
        <source>After connecting, test that websites can be reached, and switch servers if they can't.</source>
        <translation>连接后检测网站能否访问，无法访问时自动更换节点。</translation>
    </message>
    <message id="copy to clipboard">
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message id="created_at">
        <source>Added</source>
        <translation>添加时间</translation>
    </message>
    <message id="current_device">
        <source>This device</source>
        <translation>本机</translation>
    </message>
    <message id="custom title">
        <source>Customer service</source>
        <translation>在线客服</translation>
    </message>
    <message id="day">
        <source>d</source>
        <translation>天</translation>
    </message>
    <message id="delete account">
        <source>Delete account</source>
        <translation>注销账号</translation>
    </message>
    <message id="device_desc_error">
        <source>Use 1 to 16 letters, digits, _ or - for the name.</source>
        <translation>名称须为 1～16 个汉字、字母、数字、_ 或 -。</translation>
    </message>
    <message id="device_desc_update_error">
        <source>The device could not be renamed. Please try again.</source>
        <translation>设备名称修改失败，请重试。</translation>
    </message>
    <message id="device_model">
        <source>Model</source>
        <translation>型号</translation>
    </message>
    <message id="device_name">
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message id="devices">
        <source>devices</source>
        <translation>台设备</translation>
    </message>
    <message id="disclaimer">
        <source>Tarnel protects your privacy and speeds up your connection. Use it only as the laws and regulations of your country or region allow. You alone are responsible for how you use the service and for what you reach through it; we accept no liability for any loss caused by unlawful use.</source>
        <translation>Tarnel 用于保护隐私和加速网络连接。请仅在您所在国家或地区的法律法规允许的范围内使用。您须自行对使用本服务的方式及通过本服务访问的内容负责；因违法使用造成的任何损失，我们概不承担责任。</translation>
    </message>
    <message id="disclaimer_ignore">
        <source>Don't show again for 7 days</source>
        <translation>7 天内不再提示</translation>
    </message>
    <message id="disclaimer_title">
        <source>Disclaimer</source>
        <translation>免责声明</translation>
    </message>
    <message id="disconnect">
        <source>Disconnect</source>
        <translation>断开连接</translation>
    </message>
    <message id="disconnected">
        <source>Disconnected</source>
        <translation>未连接</translation>
    </message>
    <message id="disconnecting">
        <source>Disconnecting…</source>
        <translation>正在断开…</translation>
    </message>
    <message id="discount">
        <source>off</source>
        <translation>折</translation>
    </message>
    <message id="discount coupon">
        <source>Discount coupon</source>
        <translation>折扣券</translation>
    </message>
    <message id="download failed">
        <source>Download failed</source>
        <translation>下载失败</translation>
    </message>
    <message id="download host missing">
        <source>The download address is not known yet. Please try again in a moment.</source>
        <translation>暂时无法获取下载地址，请稍后再试。</translation>
    </message>
    <message id="download incomplete">
        <source>The download was incomplete.</source>
        <translation>下载的文件不完整。</translation>
    </message>
    <message id="drag and drop app to applications">
        <source>Tunnel mode needs Tarnel’s installed package. Install the tarnel package (for example: sudo apt install ./tarnel.deb), then start Tarnel from the applications menu. Tarnel quits when you close this message.</source>
        <translation>隧道模式需要安装 Tarnel 软件包。请安装 tarnel 软件包（例如：sudo apt install ./tarnel.deb），然后从应用程序菜单启动 Tarnel。关闭此提示后，Tarnel 将退出。</translation>
    </message>
    <message id="empty notify">
        <source>No notices yet</source>
        <translation>暂无公告</translation>
    </message>
    <message id="exit">
        <source>Quit the app</source>
        <translation>退出程序</translation>
    </message>
    <message id="feedback">
        <source>Feedback</source>
        <translation>意见反馈</translation>
    </message>
    <message id="free to use">
        <source>Get free time</source>
        <translation>免费领时长</translation>
    </message>
    <message id="get">
        <source>Get code</source>
        <translation>获取验证码</translation>
    </message>
    <message id="global">
        <source>Global</source>
        <translation>全局</translation>
    </message>
    <message id="half_a_year">
        <source>Half-year</source>
        <translation>半年</translation>
    </message>
    <message id="has new version">
        <source>A new version is available.</source>
        <translation>发现新版本。</translation>
    </message>
    <message id="help center">
        <source>Help center</source>
        <translation>帮助中心</translation>
    </message>
    <message id="hide">
        <source>Hide window</source>
        <translation>隐藏窗口</translation>
    </message>
    <message id="hideWindowAndDockIcon">
        <source>Hide to tray</source>
        <translation>隐藏到托盘</translation>
    </message>
    <message id="hour">
        <source>h</source>
        <translation>小时</translation>
    </message>
    <message id="http port">
        <source>HTTP port</source>
        <translation>HTTP 端口</translation>
    </message>
    <message id="ignore version">
        <source>Skip this version</source>
        <translation>忽略此版本</translation>
    </message>
    <message id="initalize...">
        <source>Starting…</source>
        <translation>正在启动…</translation>
    </message>
    <message id="input_email_error">
        <source>Please enter a valid email address.</source>
        <translation>请输入正确的邮箱地址。</translation>
    </message>
    <message id="input_password_error">
        <source>The password must be 6 to 16 characters.</source>
        <translation>密码须为 6～16 位。</translation>
    </message>
    <message id="is new version (%d)">
        <source>You're up to date (%1).</source>
        <translation>已是最新版本（%1）。</translation>
    </message>
    <message id="load_devices_failed">
        <source>The device list could not be loaded. Please try again later.</source>
        <translation>设备列表加载失败，请稍后重试。</translation>
    </message>
    <message id="location">
        <source>Location</source>
        <translation>地区</translation>
    </message>
    <message id="minute">
        <source>min</source>
        <translation>分钟</translation>
    </message>
    <message id="mobile apps">
        <source>Mobile apps</source>
        <translation>手机客户端</translation>
    </message>
    <message id="month">
        <source>mo</source>
        <translation>个月</translation>
    </message>
    <message id="more devices">
        <source>Add devices</source>
        <translation>增加设备</translation>
    </message>
    <message id="multiple version">
        <source>Multi-device plan</source>
        <translation>多设备版</translation>
    </message>
    <message id="need connected">
        <source>This needs an active connection. Confirm to connect now.</source>
        <translation>此功能需要先连接，确定后将立即连接。</translation>
    </message>
    <message id="need update">
        <source>This version is no longer supported. Please update to continue.</source>
        <translation>当前版本已停止支持，请更新后继续使用。</translation>
    </message>
    <message id="network error">
        <source>Cannot reach the service. Check your network, then start Tarnel again.</source>
        <translation>无法连接服务，请检查网络后重新打开 Tarnel。</translation>
    </message>
    <message id="network error.">
        <source>Network error. Please check your connection.</source>
        <translation>网络错误，请检查网络连接。</translation>
    </message>
    <message id="no package installer">
        <source>The update was downloaded to %1, but no package installer opened it. Please install it with your system&apos;s package manager.</source>
        <translation>更新已下载到 %1，但没有软件包安装程序打开它。请使用系统的软件包管理器安装。</translation>
    </message>
    <message id="node unsupport protocol">
        <source>No server supports the chosen protocol. Choose another protocol or Automatic.</source>
        <translation>没有节点支持所选协议，请更换协议或选择“自动”。</translation>
    </message>
    <message id="normal">
        <source>Normal</source>
        <translation>常规</translation>
    </message>
    <message id="normal version">
        <source>Standard plan</source>
        <translation>普通版</translation>
    </message>
    <message id="not vip">
        <source>No membership</source>
        <translation>非会员</translation>
    </message>
    <message id="off">
        <source>Off</source>
        <translation>关闭</translation>
    </message>
    <message id="on">
        <source>On</source>
        <translation>开启</translation>
    </message>
    <message id="only support normal">
        <source>This works only in normal mode. Switch the running mode to normal in the connection settings.</source>
        <translation>此功能仅支持常规模式，请在连接设置中将运行模式切换为常规。</translation>
    </message>
    <message id="open email app">
        <source>Open mail app</source>
        <translation>打开邮件应用</translation>
    </message>
    <message id="open failed : %@">
        <source>The update could not be opened: %1</source>
        <translation>无法打开更新文件：%1</translation>
    </message>
    <message id="open_connect">
        <source>Starting the connection…</source>
        <translation>正在建立连接…</translation>
    </message>
    <message id="open_node">
        <source>Opening a server…</source>
        <translation>正在开启节点…</translation>
    </message>
    <message id="order now">
        <source>Buy now</source>
        <translation>立即购买</translation>
    </message>
    <message id="original price">
        <source>Original price</source>
        <translation>原价</translation>
    </message>
    <message id="personal center">
        <source>Account</source>
        <translation>个人中心</translation>
    </message>
    <message id="platform">
        <source>Platform</source>
        <translation>平台</translation>
    </message>
    <message id="please enter account">
        <source>Email address</source>
        <translation>请输入邮箱</translation>
    </message>
    <message id="please enter keyword">
        <source>Search servers</source>
        <translation>搜索节点</translation>
    </message>
    <message id="please enter password">
        <source>Please enter your password</source>
        <translation>请输入密码</translation>
    </message>
    <message id="please enter the invitation code">
        <source>Please enter an invitation code</source>
        <translation>请输入邀请码</translation>
    </message>
    <message id="please enter verification code">
        <source>Please enter the verification code</source>
        <translation>请输入验证码</translation>
    </message>
    <message id="progress：%lld/%lld">
        <source>Progress: %1/%2</source>
        <translation>进度：%1/%2</translation>
    </message>
    <message id="proxy rule max length">
        <source>A list is too long. Please remove some entries.</source>
        <translation>规则列表过长，请删减部分条目。</translation>
    </message>
    <message id="purchase failed">
        <source>Purchase failed.</source>
        <translation>购买失败。</translation>
    </message>
    <message id="purchase success">
        <source>Purchase complete. Thank you!</source>
        <translation>购买成功，感谢支持！</translation>
    </message>
    <message id="quit">
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message id="read and confirm">
        <source>Please read and tick the confirmation first.</source>
        <translation>请先阅读并勾选确认。</translation>
    </message>
    <message id="recommended">
        <source>Recommended plans</source>
        <translation>推荐套餐</translation>
    </message>
    <message id="remaining days:">
        <source>Time left:</source>
        <translation>剩余时长：</translation>
    </message>
    <message id="retry">
        <source>Retry</source>
        <translation>重试</translation>
    </message>
    <message id="routing mode">
        <source>Routing mode</source>
        <translation>路由模式</translation>
    </message>
    <message id="routing strategy">
        <source>IP version</source>
        <translation>IP 版本</translation>
    </message>
    <message id="routing strategy tips">
        <source>Which IP versions a domain name may resolve to: IPv4, IPv6 or both.</source>
        <translation>域名解析时使用的 IP 版本：IPv4、IPv6 或两者。</translation>
    </message>
    <message id="running mode">
        <source>Running mode</source>
        <translation>运行模式</translation>
    </message>
    <message id="season">
        <source>Quarterly</source>
        <translation>季度</translation>
    </message>
    <message id="second">
        <source>s</source>
        <translation>秒</translation>
    </message>
    <message id="server is nil">
        <source>No server address was received. Please try again.</source>
        <translation>未获取到服务器地址，请重试。</translation>
    </message>
    <message id="setting change tips">
        <source>The change takes effect after reconnecting.</source>
        <translation>更改的设置需要重新连接后才能生效。</translation>
    </message>
    <message id="share">
        <source>Share</source>
        <translation>分享</translation>
    </message>
    <message id="show">
        <source>Show window</source>
        <translation>显示窗口</translation>
    </message>
    <message id="sign in">
        <source>Sign in</source>
        <translation>登录</translation>
    </message>
    <message id="sign out">
        <source>Sign out</source>
        <translation>退出登录</translation>
    </message>
    <message id="sign up">
        <source>Sign up</source>
        <translation>注册</translation>
    </message>
    <message id="smart">
        <source>Smart</source>
        <translation>智能</translation>
    </message>
    <message id="socks port">
        <source>SOCKS port</source>
        <translation>SOCKS 端口</translation>
    </message>
    <message id="start check">
        <source>Start diagnosis</source>
        <translation>开始检测</translation>
    </message>
    <message id="submit">
        <source>Submit</source>
        <translation>提交</translation>
    </message>
    <message id="submit_report">
        <source>Send report</source>
        <translation>提交报告</translation>
    </message>
    <message id="support">
        <source>Support</source>
        <translation>客服</translation>
    </message>
    <message id="switch failed">
        <source>The game console proxy could not start. Please try again.</source>
        <translation>游戏主机代理启动失败，请重试。</translation>
    </message>
    <message id="switch help">
        <source>How to set up your console</source>
        <translation>主机设置教程</translation>
    </message>
    <message id="switch proxy port">
        <source>Port</source>
        <translation>端口</translation>
    </message>
    <message id="switch proxy server">
        <source>Proxy server</source>
        <translation>代理服务器</translation>
    </message>
    <message id="switch proxy setting">
        <source>Game console proxy</source>
        <translation>游戏主机代理设置</translation>
    </message>
    <message id="system_extension_faild">
        <source>Tunnel mode could not be enabled (%1).</source>
        <translation>隧道模式启用失败（%1）。</translation>
    </message>
    <message id="system_extension_reboot">
        <source>Restart your computer to finish setting up tunnel mode. Tarnel quits when you close this message.</source>
        <translation>请重新启动电脑，以完成隧道模式的设置。关闭此提示后，Tarnel 将退出。</translation>
    </message>
    <message id="system_tips">
        <source>Tunnel mode needs your permission. Enter your password in the authentication window the system shows; tunnel mode is chosen as soon as it is granted.</source>
        <translation>隧道模式需要你的授权。请在系统弹出的认证窗口中输入密码；授权后即会选中隧道模式。</translation>
    </message>
    <message id="tag">
        <source>Tags</source>
        <translation>标签</translation>
    </message>
    <message id="tip_please_read">
        <source>Please read and accept the Privacy Policy and Terms of Service.</source>
        <translation>请先阅读并同意隐私政策和服务条款。</translation>
    </message>
    <message id="tips_title">
        <source>Notice</source>
        <translation>提示</translation>
    </message>
    <message id="tunnel">
        <source>Tunnel</source>
        <translation>隧道</translation>
    </message>
    <message id="tunnel service not running">
        <source>Tarnel’s tunnel service is installed but not running. Start it in a terminal with:
sudo systemctl enable --now io.tarnelmacos.ne.socket</source>
        <translation>Tarnel 的隧道服务已安装，但没有运行。请在终端中运行以下命令启动它：
sudo systemctl enable --now io.tarnelmacos.ne.socket</translation>
    </message>
    <message id="txt_confirm_email">
        <source>Please make sure %1 is right: we will send mail to this address.</source>
        <translation>请确认邮箱 %1 是否正确，我们将向该地址发送邮件。</translation>
    </message>
    <message id="unavailable node">
        <source>The selected server is unavailable. Choose another server or Auto.</source>
        <translation>所选节点不可用，请更换节点或选择“自动选择”。</translation>
    </message>
    <message id="unbind">
        <source>Remove</source>
        <translation>解绑</translation>
    </message>
    <message id="unbind_failed">
        <source>The device could not be removed. Please try again.</source>
        <translation>解绑失败，请重试。</translation>
    </message>
    <message id="unbound tips">
        <source>This device has been removed from your account. Please sign in again.</source>
        <translation>此设备已从您的账号解绑，请重新登录。</translation>
    </message>
    <message id="universal">
        <source>Any plan</source>
        <translation>通用</translation>
    </message>
    <message id="update downloading">
        <source>The update is downloading.</source>
        <translation>更新正在下载中。</translation>
    </message>
    <message id="update now">
        <source>Update now</source>
        <translation>立即更新</translation>
    </message>
    <message id="updated_at">
        <source>Last active</source>
        <translation>最近活跃</translation>
    </message>
    <message id="verification_code_sent">
        <source>Verification code sent. Please check your email.</source>
        <translation>验证码已发送，请查收邮件。</translation>
    </message>
    <message id="vip expired tips">
        <source>Your membership has expired. Subscribe to keep using Tarnel.</source>
        <translation>您的会员已到期，订阅后即可继续使用。</translation>
    </message>
    <message id="vip_time">
        <source>Membership: %1 left</source>
        <translation>会员剩余：%1</translation>
    </message>
    <message id="visit official website">
        <source>Visit official website</source>
        <translation>访问官网</translation>
    </message>
    <message id="voucher &amp; discount">
        <source>Vouchers &amp; discounts</source>
        <translation>卡券优惠</translation>
    </message>
    <message id="vpn_cancel">
        <source>The VPN connection was stopped.</source>
        <translation>VPN 连接已中止。</translation>
    </message>
    <message id="year">
        <source>yr</source>
        <translation>年</translation>
    </message>
    <message id="简体中文">
        <source>简体中文</source>
        <translation>简体中文</translation>
    </message>
    <message id="繁體中文">
        <source>繁體中文</source>
        <translation>繁體中文</translation>
    </message>
    <message id="，save">
        <source>, save </source>
        <translation>，立省</translation>
    </message>
</context>
</TS>
