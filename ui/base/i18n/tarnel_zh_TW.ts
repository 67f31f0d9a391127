<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_TW" sourcelanguage="en">
<context>
    <name></name>
    <message id="%@ is not the correct domain name or IP address.">
        <source>%1 is not a valid domain name or IP address.</source>
        <translation>%1 不是有效的網域名稱或 IP 位址。</translation>
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
        <translation>帳號：</translation>
    </message>
    <message id="Advanced">
        <source>Advanced</source>
        <translation>進階</translation>
    </message>
    <message id="Advanced Settings">
        <source>Advanced settings</source>
        <translation>進階設定</translation>
    </message>
    <message id="Africa">
        <source>Africa</source>
        <translation>非洲</translation>
    </message>
    <message id="Agree">
        <source>I agree to the</source>
        <translation>我已閱讀並同意</translation>
    </message>
    <message id="Always Block">
        <source>Always block</source>
        <translation>一律封鎖</translation>
    </message>
    <message id="Always Direct">
        <source>Always direct</source>
        <translation>一律直連</translation>
    </message>
    <message id="Always Proxy">
        <source>Always proxy</source>
        <translation>一律代理</translation>
    </message>
    <message id="Americas">
        <source>Americas</source>
        <translation>美洲</translation>
    </message>
    <message id="Are you sure to use it?">
        <source>Use this time card now?</source>
        <translation>確定使用這張時數卡嗎？</translation>
    </message>
    <message id="Asia">
        <source>Asia</source>
        <translation>亞洲</translation>
    </message>
    <message id="Automatic">
        <source>Automatic</source>
        <translation>自動</translation>
    </message>
    <message id="C">
        <source>C</source>
        <translation>C</translation>
    </message>
    <message id="CSR email: %@">
        <source>Support email: %1</source>
        <translation>客服信箱：%1</translation>
    </message>
    <message id="Cancel">
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message id="Change Password">
        <source>Change password</source>
        <translation>變更密碼</translation>
    </message>
    <message id="Check For Updates">
        <source>Check for updates</source>
        <translation>檢查更新</translation>
    </message>
    <message id="Clear Cache">
        <source>Clear cache</source>
        <translation>清除快取</translation>
    </message>
    <message id="Confirm">
        <source>Confirm</source>
        <translation>確定</translation>
    </message>
    <message id="Confirm deletion">
        <source>Delete account</source>
        <translation>確認刪除</translation>
    </message>
    <message id="Confirm password">
        <source>Enter the new password again</source>
        <translation>請再次輸入新密碼</translation>
    </message>
    <message id="Connection">
        <source>Connection</source>
        <translation>連線設定</translation>
    </message>
    <message id="Connection Check">
        <source>Connection check</source>
        <translation>連線檢測</translation>
    </message>
    <message id="Copy Success">
        <source>Copied</source>
        <translation>已複製</translation>
    </message>
    <message id="Customized DNS">
        <source>Custom DNS</source>
        <translation>自訂 DNS</translation>
    </message>
    <message id="Customized DNS tips">
        <source>The DNS server used while connected. Auto uses the system's resolver.</source>
        <translation>連線時使用的 DNS 伺服器。「自動選擇」使用系統的解析設定。</translation>
    </message>
    <message id="Debug Log">
        <source>Debug log</source>
        <translation>除錯紀錄</translation>
    </message>
    <message id="Delete Account Tips">
        <source>Deleting your account is permanent. Your membership time, devices, invitation rewards and all other data of the account are erased and cannot be restored.</source>
        <translation>刪除帳號後無法復原。帳號的會員時數、裝置、邀請獎勵等所有資料都將被清除，且無法找回。</translation>
    </message>
    <message id="Details of the changes:">
        <source>Changes:</source>
        <translation>變更明細：</translation>
    </message>
    <message id="Devices">
        <source>Devices</source>
        <translation>裝置</translation>
    </message>
    <message id="Devices Manager">
        <source>Devices</source>
        <translation>裝置管理</translation>
    </message>
    <message id="Devices:">
        <source>Devices:</source>
        <translation>裝置數：</translation>
    </message>
    <message id="Disconnect Optimization">
        <source>Auto reconnect</source>
        <translation>斷線重連</translation>
    </message>
    <message id="Do not automatically open the system proxy">
        <source>Don't set the system proxy automatically</source>
        <translation>不自動開啟系統代理</translation>
    </message>
    <message id="Don't transfer money!">
        <source>Don't transfer any money!</source>
        <translation>請勿轉帳！</translation>
    </message>
    <message id="Don't use WeChat scanning">
        <source>Don't scan it with WeChat.</source>
        <translation>請勿使用微信掃描</translation>
    </message>
    <message id="Eastern Europe">
        <source>Eastern Europe</source>
        <translation>東歐</translation>
    </message>
    <message id="English">
        <source>English</source>
        <translation>English</translation>
    </message>
    <message id="Europe">
        <source>Europe</source>
        <translation>歐洲</translation>
    </message>
    <message id="Expires:">
        <source>Expires:</source>
        <translation>有效期限：</translation>
    </message>
    <message id="Filters">
        <source>Filter by tag</source>
        <translation>依標籤篩選</translation>
    </message>
    <message id="Get more rewards">
        <source>Earn more rewards</source>
        <translation>贏得更多獎勵</translation>
    </message>
    <message id="I">
        <source>I</source>
        <translation>I</translation>
    </message>
    <message id="I need more equipment">
        <source>I need more devices</source>
        <translation>我需要更多裝置</translation>
    </message>
    <message id="Inconsistent passwords">
        <source>The passwords don't match.</source>
        <translation>兩次輸入的密碼不一致。</translation>
    </message>
    <message id="Increase the number of devices">
        <source>Add devices</source>
        <translation>增加裝置數量</translation>
    </message>
    <message id="Invite more friends">
        <source>Invite your friends</source>
        <translation>邀請更多好友</translation>
    </message>
    <message id="Invited friends are required to fill in this invitation code when they register.">
        <source>Your friends enter this code when they sign up.</source>
        <translation>好友註冊時需填寫此邀請碼。</translation>
    </message>
    <message id="Invitee">
        <source>Invited by</source>
        <translation>邀請人</translation>
    </message>
    <message id="K">
        <source>K</source>
        <translation>K</translation>
    </message>
    <message id="Language">
        <source>Language</source>
        <translation>語言</translation>
    </message>
    <message id="Loading nodes">
        <source>Loading servers…</source>
        <translation>正在載入節點…</translation>
    </message>
    <message id="Loading...">
        <source>Loading…</source>
        <translation>載入中…</translation>
    </message>
    <message id="Max">
        <source>Limit</source>
        <translation>上限</translation>
    </message>
    <message id="Membership Center">
        <source>Membership</source>
        <translation>會員中心</translation>
    </message>
    <message id="Menu Bar Icon">
        <source>Tray icon</source>
        <translation>系統匣圖示</translation>
    </message>
    <message id="Middle East">
        <source>Middle East</source>
        <translation>中東</translation>
    </message>
    <message id="My Rewards">
        <source>My rewards</source>
        <translation>我的獎勵</translation>
    </message>
    <message id="My invitation code">
        <source>My invitation code</source>
        <translation>我的邀請碼</translation>
    </message>
    <message id="N/A">
        <source>Never</source>
        <translation>永久有效</translation>
    </message>
    <message id="Network Diagnosis">
        <source>Network diagnosis</source>
        <translation>網路診斷</translation>
    </message>
    <message id="New password">
        <source>Enter a new password</source>
        <translation>請輸入新密碼</translation>
    </message>
    <message id="No select tag">
        <source>Any tag</source>
        <translation>不限標籤</translation>
    </message>
    <message id="Normal Time">
        <source>Standard time</source>
        <translation>一般時數</translation>
    </message>
    <message id="Not Now">
        <source>Not now</source>
        <translation>稍後</translation>
    </message>
    <message id="Note: You cannot downgrade after upgrading.">
        <source>Note: an upgrade cannot be undone.</source>
        <translation>注意：升級後無法降級。</translation>
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
        <translation>請輸入目前的密碼</translation>
    </message>
    <message id="Password changed successfully">
        <source>Password changed.</source>
        <translation>密碼已變更。</translation>
    </message>
    <message id="Please double-check that the address on the payment page is the same as the address after copying and pasting! And use antivirus software to check for Trojans and viruses.">
        <source>Check that the address on the payment page matches the address you pasted, and scan your computer for Trojans and viruses with antivirus software.</source>
        <translation>請仔細核對付款頁面上的地址與複製貼上後的地址是否一致！並使用防毒軟體檢查電腦是否有木馬和病毒。</translation>
    </message>
    <message id="Please enter the domain and IP">
        <source>One domain or IP address per line</source>
        <translation>每行一個網域或 IP 位址</translation>
    </message>
    <message id="Privacy Policy">
        <source>Privacy Policy</source>
        <translation>隱私權政策</translation>
    </message>
    <message id="Processing">
        <source>Testing…</source>
        <translation>檢測中…</translation>
    </message>
    <message id="Proxy Rules">
        <source>Proxy rules</source>
        <translation>代理規則</translation>
    </message>
    <message id="Q">
        <source>Q</source>
        <translation>Q</translation>
    </message>
    <message id="Read All">
        <source>Mark all read</source>
        <translation>全部已讀</translation>
    </message>
    <message id="Reconnect">
        <source>Reconnect</source>
        <translation>重新連線</translation>
    </message>
    <message id="Registered general version">
        <source>Sign up for the standard plan</source>
        <translation>註冊一般版</translation>
    </message>
    <message id="Remaining Time:">
        <source>Time left:</source>
        <translation>剩餘時間：</translation>
    </message>
    <message id="Restart">
        <source>Restart</source>
        <translation>重新啟動</translation>
    </message>
    <message id="Retrieve Password">
        <source>Forgot password?</source>
        <translation>忘記密碼？</translation>
    </message>
    <message id="Rules">
        <source>Rules</source>
        <translation>邀請規則</translation>
    </message>
    <message id="S">
        <source>S</source>
        <translation>S</translation>
    </message>
    <message id="Save failed, please try again later">
        <source>Saving failed. Please try again later.</source>
        <translation>儲存失敗，請稍後再試。</translation>
    </message>
    <message id="Set up Telegram proxy">
        <source>Set up Telegram proxy</source>
        <translation>設定 Telegram 代理</translation>
    </message>
    <message id="Settings">
        <source>Settings</source>
        <translation>設定</translation>
    </message>
    <message id="Share Now">
        <source>Share now</source>
        <translation>立即分享</translation>
    </message>
    <message id="Shortcut">
        <source>Shortcuts</source>
        <translation>快速入口</translation>
    </message>
    <message id="Southeast Asia">
        <source>Southeast Asia</source>
        <translation>東南亞</translation>
    </message>
    <message id="Subscribe">
        <source>Subscribe</source>
        <translation>訂閱</translation>
    </message>
    <message id="Taking over the network with a virtual NIC">
        <source>Takes over all network traffic through a virtual network adapter.</source>
        <translation>透過虛擬網路卡接管所有網路流量。</translation>
    </message>
    <message id="Tarnel Payment">
        <source>Tarnel payment</source>
        <translation>Tarnel 付款</translation>
    </message>
    <message id="Terminal Proxy">
        <source>Terminal proxy</source>
        <translation>終端機代理</translation>
    </message>
    <message id="Terms of Service">
        <source>Terms of Service</source>
        <translation>服務條款</translation>
    </message>
    <message id="Testing done">
        <source>Diagnosis complete</source>
        <translation>檢測完成</translation>
    </message>
    <message id="Testing progress">
        <source>Progress</source>
        <translation>檢測進度</translation>
    </message>
    <message id="Thank you for your feedback, we will deal with your feedback seriously, repair and improve related functions as soon as possible.">
        <source>Thank you for your feedback. We take every report seriously and will fix and improve things as soon as we can.</source>
        <translation>感謝您的回饋，我們會認真處理，盡快修正並改進相關功能。</translation>
    </message>
    <message id="The &quot;Automatic&quot; option should be left on in most cases. Please only try to specify the protocol manually if automatic is not available.">
        <source>Keep “Automatic” in most cases. Choose a protocol yourself only when Automatic does not work.</source>
        <translation>大多數情況下請保持「自動」。僅當自動無法使用時，再嘗試手動指定協定。</translation>
    </message>
    <message id="The address in the clipboard has been tampered with.">
        <source>The address in the clipboard has been tampered with.</source>
        <translation>剪貼簿中的地址已遭竄改！</translation>
    </message>
    <message id="The domain name and IP entered here will be forced to go through the encrypted channel and will not be connected directly.">
        <source>Domains and IP addresses listed here always go through the encrypted tunnel, never directly.</source>
        <translation>此處填寫的網域和 IP 將強制經過加密通道，不會直接連線。</translation>
    </message>
    <message id="The domain name and IP entered here will connect directly, without going through the encrypted channel.">
        <source>Domains and IP addresses listed here connect directly, not through the encrypted tunnel.</source>
        <translation>此處填寫的網域和 IP 將直接連線，不經過加密通道。</translation>
    </message>
    <message id="The domain name entered here will be directly blocked from accessing the network.">
        <source>Access to the domains and IP addresses listed here is blocked.</source>
        <translation>此處填寫的網域和 IP 將被直接封鎖，無法存取。</translation>
    </message>
    <message id="The link has been copied successfully, share it with your friends now!">
        <source>Link copied. Share it with your friends!</source>
        <translation>連結已複製，快分享給好友吧！</translation>
    </message>
    <message id="This option is usually recommended.">
        <source>Recommended for most uses.</source>
        <translation>通常建議使用此選項。</translation>
    </message>
    <message id="Time Card">
        <source>Time card</source>
        <translation>時數卡</translation>
    </message>
    <message id="Time card used successfully">
        <source>Time card used.</source>
        <translation>時數卡使用成功。</translation>
    </message>
    <message id="Tools">
        <source>Tools</source>
        <translation>工具</translation>
    </message>
    <message id="Trying to log in automatically">
        <source>Signing in automatically…</source>
        <translation>正在自動登入…</translation>
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
        <translation>無法綁定自己的邀請碼。</translation>
    </message>
    <message id="Unbound">
        <source>Not set</source>
        <translation>未綁定</translation>
    </message>
    <message id="Upgrade failed, please try again later">
        <source>Upgrade failed. Please try again later.</source>
        <translation>升級失敗，請稍後再試。</translation>
    </message>
    <message id="Upgrade success">
        <source>Upgrade complete.</source>
        <translation>升級成功。</translation>
    </message>
    <message id="Upgrade to:">
        <source>Upgrade to:</source>
        <translation>升級為：</translation>
    </message>
    <message id="Use">
        <source>Use</source>
        <translation>使用</translation>
    </message>
    <message id="Use encrypted proxies for all network access.">
        <source>All network traffic goes through the encrypted proxy.</source>
        <translation>所有網路存取都經過加密代理。</translation>
    </message>
    <message id="Use the system proxy settings, suitable for browsing the web, watching videos and other scenes. Generally it is recommended to use">
        <source>Uses the system proxy. Suits browsing, video and most everyday uses; recommended in general.</source>
        <translation>使用系統代理設定，適合瀏覽網頁、觀看影片等情境，一般建議使用。</translation>
    </message>
    <message id="Use your mobile phone to scan the QR code and visit the website to download.">
        <source>Scan the QR code with your phone to download the app.</source>
        <translation>用手機掃描 QR 碼，前往網站下載。</translation>
    </message>
    <message id="UseIP">
        <source>IPv4 and IPv6</source>
        <translation>IPv4 與 IPv6</translation>
    </message>
    <message id="UseIPv4">
        <source>IPv4 only</source>
        <translation>僅 IPv4</translation>
    </message>
    <message id="UseIPv6">
        <source>IPv6 only</source>
        <translation>僅 IPv6</translation>
    </message>
    <message id="VIP Expire Date: %@">
        <source>Membership ends: %1</source>
        <translation>會員到期日：%1</translation>
    </message>
    <message id="VIP Remaining Time: %@">
        <source>Time left: %1</source>
        <translation>剩餘時間：%1</translation>
    </message>
    <message id="VIP Time">
        <source>Membership time</source>
        <translation>會員時數</translation>
    </message>
    <message id="Verify Email">
        <source>Verify email</source>
        <translation>驗證電子郵件</translation>
    </message>
    <message id="Voucher">
        <source>Voucher</source>
        <translation>抵用券</translation>
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
        <translation>按下關閉按鈕時</translation>
    </message>
    <message id="about">
        <source>About</source>
        <translation>關於</translation>
    </message>
    <message id="about content">
        <source>Tarnel keeps your connection private and fast. It encrypts your traffic and picks a good server for you, wherever you are.</source>
        <translation>Tarnel 為您提供安全、快速的網路連線：加密您的流量，並隨時為您挑選合適的節點。</translation>
    </message>
    <message id="and">
        <source>and</source>
        <translation>與</translation>
    </message>
    <message id="appTitle">
        <source>Tarnel v%1 - %2</source>
        <translation>Tarnel v%1 - %2</translation>
    </message>
    <message id="are not node">
        <source>No server is available right now. Please try again later.</source>
        <translation>目前沒有可用節點，請稍後再試。</translation>
    </message>
    <message id="auto">
        <source>Auto</source>
        <translation>自動選擇</translation>
    </message>
    <message id="can not open address">
        <source>No application could open %1.</source>
        <translation>沒有應用程式能開啟 %1。</translation>
    </message>
    <message id="can not open dictory">
        <source>Cannot open the log folder.</source>
        <translation>無法開啟紀錄資料夾。</translation>
    </message>
    <message id="can not open link">
        <source>No web browser could open %1.</source>
        <translation>沒有網頁瀏覽器能開啟 %1。</translation>
    </message>
    <message id="can not open mail">
        <source>No mail app could write to %1.</source>
        <translation>沒有郵件應用程式能寫信給 %1。</translation>
    </message>
    <message id="check_availability">
        <source>Testing the connection…</source>
        <translation>正在測試連線…</translation>
    </message>
    <message id="check_port">
        <source>Checking ports…</source>
        <translation>正在檢測連接埠…</translation>
    </message>
    <message id="confirm delete account">
        <source>I understand, and I want to delete my account.</source>
        <translation>我已了解以上內容，確認刪除帳號</translation>
    </message>
    <message id="confirm password">
        <source>New password</source>
        <translation>請輸入新密碼</translation>
    </message>
    <message id="connect">
        <source>Connect</source>
        <translation>連線</translation>
    </message>
    <message id="connect model">
        <source>Protocol</source>
        <translation>連線協定</translation>
    </message>
    <message id="connect_success">
        <source>Connected successfully</source>
        <translation>連線成功</translation>
    </message>
    <message id="connected">
        <source>Connected</source>
        <translation>已連線</translation>
    </message>
    <message id="connecting">
        <source>Connecting…</source>
        <translation>正在連線…</translation>
    </message>
    <message id="connection check">
        <source>Connection check</source>
        <translation>連線檢測</translation>
    </message>
    <message id="connection check info">
        <source>After connecting, test that websites can be reached, and switch servers if they can't.</source>
        <translation>連線後檢測網站能否存取，無法存取時自動更換節點。</translation>
    </message>
    <message id="copy to clipboard">
        <source>Copy</source>
        <translation>複製</translation>
    </message>
    <message id="created_at">
        <source>Added</source>
        <translation>新增時間</translation>
    </message>
    <message id="current_device">
        <source>This device</source>
        <translation>本機</translation>
    </message>
    <message id="custom title">
        <source>Customer service</source>
        <translation>線上客服</translation>
    </message>
    <message id="day">
        <source>d</source>
        <translation>天</translation>
    </message>
    <message id="delete account">
        <source>Delete account</source>
        <translation>刪除帳號</translation>
    </message>
    <message id="device_desc_error">
        <source>Use 1 to 16 letters, digits, _ or - for the name.</source>
        <translation>名稱須為 1～16 個中文字、字母、數字、_ 或 -。</translation>
    </message>
    <message id="device_desc_update_error">
        <source>The device could not be renamed. Please try again.</source>
        <translation>裝置名稱修改失敗，請重試。</translation>
    </message>
    <message id="device_model">
        <source>Model</source>
        <translation>型號</translation>
    </message>
    <message id="device_name">
        <source>Name</source>
        <translation>名稱</translation>
    </message>
    <message id="devices">
        <source>devices</source>
        <translation>台裝置</translation>
    </message>
    <message id="disclaimer">
        <source>Tarnel protects your privacy and speeds up your connection. Use it only as the laws and regulations of your country or region allow. You alone are responsible for how you use the service and for what you reach through it; we accept no liability for any loss caused by unlawful use.</source>
        <translation>Tarnel 用於保護隱私並加速網路連線。請僅在您所在國家或地區的法律法規允許的範圍內使用。您須自行對使用本服務的方式及透過本服務存取的內容負責；因違法使用造成的任何損失，我們概不承擔責任。</translation>
    </message>
    <message id="disclaimer_ignore">
        <source>Don't show again for 7 days</source>
        <translation>7 天內不再提示</translation>
    </message>
    <message id="disclaimer_title">
        <source>Disclaimer</source>
        <translation>免責聲明</translation>
    </message>
    <message id="disconnect">
        <source>Disconnect</source>
        <translation>中斷連線</translation>
    </message>
    <message id="disconnected">
        <source>Disconnected</source>
        <translation>未連線</translation>
    </message>
    <message id="disconnecting">
        <source>Disconnecting…</source>
        <translation>正在中斷連線…</translation>
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
        <translation>下載失敗</translation>
    </message>
    <message id="download host missing">
        <source>The download address is not known yet. Please try again in a moment.</source>
        <translation>暫時無法取得下載位址，請稍後再試。</translation>
    </message>
    <message id="download incomplete">
        <source>The download was incomplete.</source>
        <translation>下載的檔案不完整。</translation>
    </message>
    <message id="drag and drop app to applications">
        <source>Tunnel mode needs Tarnel’s installed package. Install the tarnel package (for example: sudo apt install ./tarnel.deb), then start Tarnel from the applications menu. Tarnel quits when you close this message.</source>
        <translation>通道模式需要安裝 Tarnel 套件。請安裝 tarnel 套件（例如：sudo apt install ./tarnel.deb），然後從應用程式選單啟動 Tarnel。關閉此提示後，Tarnel 將結束。</translation>
    </message>
    <message id="empty notify">
        <source>No notices yet</source>
        <translation>目前沒有公告</translation>
    </message>
    <message id="exit">
        <source>Quit the app</source>
        <translation>結束程式</translation>
    </message>
    <message id="feedback">
        <source>Feedback</source>
        <translation>意見回饋</translation>
    </message>
    <message id="free to use">
        <source>Get free time</source>
        <translation>免費領時數</translation>
    </message>
    <message id="get">
        <source>Get code</source>
        <translation>取得驗證碼</translation>
    </message>
    <message id="global">
        <source>Global</source>
        <translation>全域</translation>
    </message>
    <message id="half_a_year">
        <source>Half-year</source>
        <translation>半年</translation>
    </message>
    <message id="has new version">
        <source>A new version is available.</source>
        <translation>有新版本可用。</translation>
    </message>
    <message id="help center">
        <source>Help center</source>
        <translation>說明中心</translation>
    </message>
    <message id="hide">
        <source>Hide window</source>
        <translation>隱藏視窗</translation>
    </message>
    <message id="hideWindowAndDockIcon">
        <source>Hide to tray</source>
        <translation>隱藏到系統匣</translation>
    </message>
    <message id="hour">
        <source>h</source>
        <translation>小時</translation>
    </message>
    <message id="http port">
        <source>HTTP port</source>
        <translation>HTTP 連接埠</translation>
    </message>
    <message id="ignore version">
        <source>Skip this version</source>
        <translation>略過此版本</translation>
    </message>
    <message id="initalize...">
        <source>Starting…</source>
        <translation>正在啟動…</translation>
    </message>
    <message id="input_email_error">
        <source>Please enter a valid email address.</source>
        <translation>請輸入正確的電子郵件地址。</translation>
    </message>
    <message id="input_password_error">
        <source>The password must be 6 to 16 characters.</source>
        <translation>密碼須為 6～16 個字元。</translation>
    </message>
    <message id="is new version (%d)">
        <source>You're up to date (%1).</source>
        <translation>已是最新版本（%1）。</translation>
    </message>
    <message id="load_devices_failed">
        <source>The device list could not be loaded. Please try again later.</source>
        <translation>裝置清單載入失敗，請稍後再試。</translation>
    </message>
    <message id="location">
        <source>Location</source>
        <translation>地區</translation>
    </message>
    <message id="minute">
        <source>min</source>
        <translation>分鐘</translation>
    </message>
    <message id="mobile apps">
        <source>Mobile apps</source>
        <translation>手機 App</translation>
    </message>
    <message id="month">
        <source>mo</source>
        <translation>個月</translation>
    </message>
    <message id="more devices">
        <source>Add devices</source>
        <translation>增加裝置</translation>
    </message>
    <message id="multiple version">
        <source>Multi-device plan</source>
        <translation>多裝置版</translation>
    </message>
    <message id="need connected">
        <source>This needs an active connection. Confirm to connect now.</source>
        <translation>此功能需要先連線，確定後將立即連線。</translation>
    </message>
    <message id="need update">
        <source>This version is no longer supported. Please update to continue.</source>
        <translation>目前版本已停止支援，請更新後繼續使用。</translation>
    </message>
    <message id="network error">
        <source>Cannot reach the service. Check your network, then start Tarnel again.</source>
        <translation>無法連線到服務，請檢查網路後重新開啟 Tarnel。</translation>
    </message>
    <message id="network error.">
        <source>Network error. Please check your connection.</source>
        <translation>網路錯誤，請檢查網路連線。</translation>
    </message>
    <message id="no package installer">
        <source>The update was downloaded to %1, but no package installer opened it. Please install it with your system&apos;s package manager.</source>
        <translation>更新已下載到 %1，但沒有套件安裝程式開啟它。請使用系統的套件管理員安裝。</translation>
    </message>
    <message id="node unsupport protocol">
        <source>No server supports the chosen protocol. Choose another protocol or Automatic.</source>
        <translation>沒有節點支援所選協定，請更換協定或選擇「自動」。</translation>
    </message>
    <message id="normal">
        <source>Normal</source>
        <translation>一般</translation>
    </message>
    <message id="normal version">
        <source>Standard plan</source>
        <translation>一般版</translation>
    </message>
    <message id="not vip">
        <source>No membership</source>
        <translation>非會員</translation>
    </message>
    <message id="off">
        <source>Off</source>
        <translation>關閉</translation>
    </message>
    <message id="on">
        <source>On</source>
        <translation>開啟</translation>
    </message>
    <message id="only support normal">
        <source>This works only in normal mode. Switch the running mode to normal in the connection settings.</source>
        <translation>此功能僅支援一般模式，請在連線設定中將執行模式切換為一般。</translation>
    </message>
    <message id="open email app">
        <source>Open mail app</source>
        <translation>開啟郵件 App</translation>
    </message>
    <message id="open failed : %@">
        <source>The update could not be opened: %1</source>
        <translation>無法開啟更新檔案：%1</translation>
    </message>
    <message id="open_connect">
        <source>Starting the connection…</source>
        <translation>正在建立連線…</translation>
    </message>
    <message id="open_node">
        <source>Opening a server…</source>
        <translation>正在開啟節點…</translation>
    </message>
    <message id="order now">
        <source>Buy now</source>
        <translation>立即購買</translation>
    </message>
    <message id="original price">
        <source>Original price</source>
        <translation>原價</translation>
    </message>
    <message id="personal center">
        <source>Account</source>
        <translation>個人中心</translation>
    </message>
    <message id="platform">
        <source>Platform</source>
        <translation>平台</translation>
    </message>
    <message id="please enter account">
        <source>Email address</source>
        <translation>請輸入電子郵件</translation>
    </message>
    <message id="please enter keyword">
        <source>Search servers</source>
        <translation>搜尋節點</translation>
    </message>
    <message id="please enter password">
        <source>Please enter your password</source>
        <translation>請輸入密碼</translation>
    </message>
    <message id="please enter the invitation code">
        <source>Please enter an invitation code</source>
        <translation>請輸入邀請碼</translation>
    </message>
    <message id="please enter verification code">
        <source>Please enter the verification code</source>
        <translation>請輸入驗證碼</translation>
    </message>
    <message id="progress：%lld/%lld">
        <source>Progress: %1/%2</source>
        <translation>進度：%1/%2</translation>
    </message>
    <message id="proxy rule max length">
        <source>A list is too long. Please remove some entries.</source>
        <translation>規則清單過長，請刪減部分項目。</translation>
    </message>
    <message id="purchase failed">
        <source>Purchase failed.</source>
        <translation>購買失敗。</translation>
    </message>
    <message id="purchase success">
        <source>Purchase complete. Thank you!</source>
        <translation>購買成功，感謝支持！</translation>
    </message>
    <message id="quit">
        <source>Quit</source>
        <translation>結束</translation>
    </message>
    <message id="read and confirm">
        <source>Please read and tick the confirmation first.</source>
        <translation>請先閱讀並勾選確認。</translation>
    </message>
    <message id="recommended">
        <source>Recommended plans</source>
        <translation>推薦方案</translation>
    </message>
    <message id="remaining days:">
        <source>Time left:</source>
        <translation>剩餘時間：</translation>
    </message>
    <message id="retry">
        <source>Retry</source>
        <translation>重試</translation>
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
        <translation>網域名稱解析時使用的 IP 版本：IPv4、IPv6 或兩者。</translation>
    </message>
    <message id="running mode">
        <source>Running mode</source>
        <translation>執行模式</translation>
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
        <translation>未取得伺服器位址，請重試。</translation>
    </message>
    <message id="setting change tips">
        <source>The change takes effect after reconnecting.</source>
        <translation>變更的設定需要重新連線後才會生效。</translation>
    </message>
    <message id="share">
        <source>Share</source>
        <translation>分享</translation>
    </message>
    <message id="show">
        <source>Show window</source>
        <translation>顯示視窗</translation>
    </message>
    <message id="sign in">
        <source>Sign in</source>
        <translation>登入</translation>
    </message>
    <message id="sign out">
        <source>Sign out</source>
        <translation>登出</translation>
    </message>
    <message id="sign up">
        <source>Sign up</source>
        <translation>註冊</translation>
    </message>
    <message id="smart">
        <source>Smart</source>
        <translation>智慧</translation>
    </message>
    <message id="socks port">
        <source>SOCKS port</source>
        <translation>SOCKS 連接埠</translation>
    </message>
    <message id="start check">
        <source>Start diagnosis</source>
        <translation>開始檢測</translation>
    </message>
    <message id="submit">
        <source>Submit</source>
        <translation>送出</translation>
    </message>
    <message id="submit_report">
        <source>Send report</source>
        <translation>送出報告</translation>
    </message>
    <message id="support">
        <source>Support</source>
        <translation>客服</translation>
    </message>
    <message id="switch failed">
        <source>The game console proxy could not start. Please try again.</source>
        <translation>遊戲主機代理啟動失敗，請重試。</translation>
    </message>
    <message id="switch help">
        <source>How to set up your console</source>
        <translation>主機設定教學</translation>
    </message>
    <message id="switch proxy port">
        <source>Port</source>
        <translation>連接埠</translation>
    </message>
    <message id="switch proxy server">
        <source>Proxy server</source>
        <translation>代理伺服器</translation>
    </message>
    <message id="switch proxy setting">
        <source>Game console proxy</source>
        <translation>遊戲主機代理設定</translation>
    </message>
    <message id="system_extension_faild">
        <source>Tunnel mode could not be enabled (%1).</source>
        <translation>通道模式啟用失敗（%1）。</translation>
    </message>
    <message id="system_extension_reboot">
        <source>Restart your computer to finish setting up tunnel mode. Tarnel quits when you close this message.</source>
        <translation>請重新啟動電腦，以完成通道模式的設定。關閉此提示後，Tarnel 將結束。</translation>
    </message>
    <message id="system_tips">
        <source>Tunnel mode needs your permission. Enter your password in the authentication window the system shows; tunnel mode is chosen as soon as it is granted.</source>
        <translation>通道模式需要你的授權。請在系統顯示的驗證視窗中輸入密碼；授權後即會選取通道模式。</translation>
    </message>
    <message id="tag">
        <source>Tags</source>
        <translation>標籤</translation>
    </message>
    <message id="tip_please_read">
        <source>Please read and accept the Privacy Policy and Terms of Service.</source>
        <translation>請先閱讀並同意隱私權政策與服務條款。</translation>
    </message>
    <message id="tips_title">
        <source>Notice</source>
        <translation>提示</translation>
    </message>
    <message id="tunnel">
        <source>Tunnel</source>
        <translation>通道</translation>
    </message>
    <message id="tunnel service not running">
        <source>Tarnel’s tunnel service is installed but not running. Start it in a terminal with:
sudo systemctl enable --now io.tarnelmacos.ne.socket</source>
        <translation>Tarnel 的隧道服務已安裝，但沒有執行。請在終端機中執行以下指令啟動它：
sudo systemctl enable --now io.tarnelmacos.ne.socket</translation>
    </message>
    <message id="txt_confirm_email">
        <source>Please make sure %1 is right: we will send mail to this address.</source>
        <translation>請確認電子郵件 %1 是否正確，我們將寄信至此地址。</translation>
    </message>
    <message id="unavailable node">
        <source>The selected server is unavailable. Choose another server or Auto.</source>
        <translation>所選節點無法使用，請更換節點或選擇「自動選擇」。</translation>
    </message>
    <message id="unbind">
        <source>Remove</source>
        <translation>解除綁定</translation>
    </message>
    <message id="unbind_failed">
        <source>The device could not be removed. Please try again.</source>
        <translation>解除綁定失敗，請重試。</translation>
    </message>
    <message id="unbound tips">
        <source>This device has been removed from your account. Please sign in again.</source>
        <translation>此裝置已從您的帳號解除綁定，請重新登入。</translation>
    </message>
    <message id="universal">
        <source>Any plan</source>
        <translation>通用</translation>
    </message>
    <message id="update downloading">
        <source>The update is downloading.</source>
        <translation>更新正在下載中。</translation>
    </message>
    <message id="update now">
        <source>Update now</source>
        <translation>立即更新</translation>
    </message>
    <message id="updated_at">
        <source>Last active</source>
        <translation>最近活動</translation>
    </message>
    <message id="verification_code_sent">
        <source>Verification code sent. Please check your email.</source>
        <translation>驗證碼已寄出，請查收郵件。</translation>
    </message>
    <message id="vip expired tips">
        <source>Your membership has expired. Subscribe to keep using Tarnel.</source>
        <translation>您的會員已到期，訂閱後即可繼續使用。</translation>
    </message>
    <message id="vip_time">
        <source>Membership: %1 left</source>
        <translation>會員剩餘：%1</translation>
    </message>
    <message id="visit official website">
        <source>Visit official website</source>
        <translation>造訪官方網站</translation>
    </message>
    <message id="voucher &amp; discount">
        <source>Vouchers &amp; discounts</source>
        <translation>卡券優惠</translation>
    </message>
    <message id="vpn_cancel">
        <source>The VPN connection was stopped.</source>
        <translation>VPN 連線已中止。</translation>
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
        <translation>，省下</translation>
    </message>
</context>
</TS>
