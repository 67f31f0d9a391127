<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name></name>
    <message id="%@ is not the correct domain name or IP address.">
        <source>%1 is not a valid domain name or IP address.</source>
        <translation>%1 is not a valid domain name or IP address.</translation>
    </message>
    <message id="%@ off">
        <source>%1 off</source>
        <translation>%1 off</translation>
    </message>
    <message id="%@(app_version:%lld)">
        <source>%1 (version %2)</source>
        <translation>%1 (version %2)</translation>
    </message>
    <message id="Account:">
        <source>Account:</source>
        <translation>Account:</translation>
    </message>
    <message id="Advanced">
        <source>Advanced</source>
        <translation>Advanced</translation>
    </message>
    <message id="Advanced Settings">
        <source>Advanced settings</source>
        <translation>Advanced settings</translation>
    </message>
    <message id="Africa">
        <source>Africa</source>
        <translation>Africa</translation>
    </message>
    <message id="Agree">
        <source>I agree to the</source>
        <translation>I agree to the</translation>
    </message>
    <message id="Always Block">
        <source>Always block</source>
        <translation>Always block</translation>
    </message>
    <message id="Always Direct">
        <source>Always direct</source>
        <translation>Always direct</translation>
    </message>
    <message id="Always Proxy">
        <source>Always proxy</source>
        <translation>Always proxy</translation>
    </message>
    <message id="Americas">
        <source>Americas</source>
        <translation>Americas</translation>
    </message>
    <message id="Are you sure to use it?">
        <source>Use this time card now?</source>
        <translation>Use this time card now?</translation>
    </message>
    <message id="Asia">
        <source>Asia</source>
        <translation>Asia</translation>
    </message>
    <message id="Automatic">
        <source>Automatic</source>
        <translation>Automatic</translation>
    </message>
    <message id="C">
        <source>C</source>
        <translation>C</translation>
    </message>
    <message id="CSR email: %@">
        <source>Support email: %1</source>
        <translation>Support email: %1</translation>
    </message>
    <message id="Cancel">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message id="Change Password">
        <source>Change password</source>
        <translation>Change password</translation>
    </message>
    <message id="Check For Updates">
        <source>Check for updates</source>
        <translation>Check for updates</translation>
    </message>
    <message id="Clear Cache">
        <source>Clear cache</source>
        <translation>Clear cache</translation>
    </message>
    <message id="Confirm">
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message id="Confirm deletion">
        <source>Delete account</source>
        <translation>Delete account</translation>
    </message>
    <message id="Confirm password">
        <source>Enter the new password again</source>
        <translation>Enter the new password again</translation>
    </message>
    <message id="Connection">
        <source>Connection</source>
        <translation>Connection</translation>
    </message>
    <message id="Connection Check">
        <source>Connection check</source>
        <translation>Connection check</translation>
    </message>
    <message id="Copy Success">
        <source>Copied</source>
        <translation>Copied</translation>
    </message>
    <message id="Customized DNS">
        <source>Custom DNS</source>
        <translation>Custom DNS</translation>
    </message>
    <message id="Customized DNS tips">
        <source>The DNS server used while connected. Auto uses the system's resolver.</source>
        <translation>The DNS server used while connected. Auto uses the system's resolver.</translation>
    </message>
    <message id="Debug Log">
        <source>Debug log</source>
        <translation>Debug log</translation>
    </message>
    <message id="Delete Account Tips">
        <source>Deleting your account is permanent. Your membership time, devices, invitation rewards and all other data of the account are erased and cannot be restored.</source>
        <translation>Deleting your account is permanent. Your membership time, devices, invitation rewards and all other data of the account are erased and cannot be restored.</translation>
    </message>
    <message id="Details of the changes:">
        <source>Changes:</source>
        <translation>Changes:</translation>
    </message>
    <message id="Devices">
        <source>Devices</source>
        <translation>Devices</translation>
    </message>
    <message id="Devices Manager">
        <source>Devices</source>
        <translation>Devices</translation>
    </message>
    <message id="Devices:">
        <source>Devices:</source>
        <translation>Devices:</translation>
    </message>
    <message id="Disconnect Optimization">
        <source>Auto reconnect</source>
        <translation>Auto reconnect</translation>
    </message>
    <message id="Do not automatically open the system proxy">
        <source>Don't set the system proxy automatically</source>
        <translation>Don't set the system proxy automatically</translation>
    </message>
    <message id="Don't transfer money!">
        <source>Don't transfer any money!</source>
        <translation>Don't transfer any money!</translation>
    </message>
    <message id="Don't use WeChat scanning">
        <source>Don't scan it with WeChat.</source>
        <translation>Don't scan it with WeChat.</translation>
    </message>
    <message id="Eastern Europe">
        <source>Eastern Europe</source>
        <translation>Eastern Europe</translation>
    </message>
    <message id="English">
        <source>English</source>
        <translation>English</translation>
    </message>
    <message id="Europe">
        <source>Europe</source>
        <translation>Europe</translation>
    </message>
    <message id="Expires:">
        <source>Expires:</source>
        <translation>Expires:</translation>
    </message>
    <message id="Filters">
        <source>Filter by tag</source>
        <translation>Filter by tag</translation>
    </message>
    <message id="Get more rewards">
        <source>Earn more rewards</source>
        <translation>Earn more rewards</translation>
    </message>
    <message id="I">
        <source>I</source>
        <translation>I</translation>
    </message>
    <message id="I need more equipment">
        <source>I need more devices</source>
        <translation>I need more devices</translation>
    </message>
    <message id="Inconsistent passwords">
        <source>The passwords don't match.</source>
        <translation>The passwords don't match.</translation>
    </message>
    <message id="Increase the number of devices">
        <source>Add devices</source>
        <translation>Add devices</translation>
    </message>
    <message id="Invite more friends">
        <source>Invite your friends</source>
        <translation>Invite your friends</translation>
    </message>
    <message id="Invited friends are required to fill in this invitation code when they register.">
        <source>Your friends enter this code when they sign up.</source>
        <translation>Your friends enter this code when they sign up.</translation>
    </message>
    <message id="Invitee">
        <source>Invited by</source>
        <translation>Invited by</translation>
    </message>
    <message id="K">
        <source>K</source>
        <translation>K</translation>
    </message>
    <message id="Language">
        <source>Language</source>
        <translation>Language</translation>
    </message>
    <message id="Loading nodes">
        <source>Loading servers…</source>
        <translation>Loading servers…</translation>
    </message>
    <message id="Loading...">
        <source>Loading…</source>
        <translation>Loading…</translation>
    </message>
    <message id="Max">
        <source>Limit</source>
        <translation>Limit</translation>
    </message>
    <message id="Membership Center">
        <source>Membership</source>
        <translation>Membership</translation>
    </message>
    <message id="Menu Bar Icon">
        <source>Tray icon</source>
        <translation>Tray icon</translation>
    </message>
    <message id="Middle East">
        <source>Middle East</source>
        <translation>Middle East</translation>
    </message>
    <message id="My Rewards">
        <source>My rewards</source>
        <translation>My rewards</translation>
    </message>
    <message id="My invitation code">
        <source>My invitation code</source>
        <translation>My invitation code</translation>
    </message>
    <message id="N/A">
        <source>Never</source>
        <translation>Never</translation>
    </message>
    <message id="Network Diagnosis">
        <source>Network diagnosis</source>
        <translation>Network diagnosis</translation>
    </message>
    <message id="New password">
        <source>Enter a new password</source>
        <translation>Enter a new password</translation>
    </message>
    <message id="No select tag">
        <source>Any tag</source>
        <translation>Any tag</translation>
    </message>
    <message id="Normal Time">
        <source>Standard time</source>
        <translation>Standard time</translation>
    </message>
    <message id="Not Now">
        <source>Not now</source>
        <translation>Not now</translation>
    </message>
    <message id="Note: You cannot downgrade after upgrading.">
        <source>Note: an upgrade cannot be undone.</source>
        <translation>Note: an upgrade cannot be undone.</translation>
    </message>
    <message id="Notify">
        <source>Notices</source>
        <translation>Notices</translation>
    </message>
    <message id="Oceania">
        <source>Oceania</source>
        <translation>Oceania</translation>
    </message>
    <message id="Old password">
        <source>Enter your current password</source>
        <translation>Enter your current password</translation>
    </message>
    <message id="Password changed successfully">
        <source>Password changed.</source>
        <translation>Password changed.</translation>
    </message>
    <message id="Please double-check that the address on the payment page is the same as the address after copying and pasting! And use antivirus software to check for Trojans and viruses.">
        <source>Check that the address on the payment page matches the address you pasted, and scan your computer for Trojans and viruses with antivirus software.</source>
        <translation>Check that the address on the payment page matches the address you pasted, and scan your computer for Trojans and viruses with antivirus software.</translation>
    </message>
    <message id="Please enter the domain and IP">
        <source>One domain or IP address per line</source>
        <translation>One domain or IP address per line</translation>
    </message>
    <message id="Privacy Policy">
        <source>Privacy Policy</source>
        <translation>Privacy Policy</translation>
    </message>
    <message id="Processing">
        <source>Testing…</source>
        <translation>Testing…</translation>
    </message>
    <message id="Proxy Rules">
        <source>Proxy rules</source>
        <translation>Proxy rules</translation>
    </message>
    <message id="Q">
        <source>Q</source>
        <translation>Q</translation>
    </message>
    <message id="Read All">
        <source>Mark all read</source>
        <translation>Mark all read</translation>
    </message>
    <message id="Reconnect">
        <source>Reconnect</source>
        <translation>Reconnect</translation>
    </message>
    <message id="Registered general version">
        <source>Sign up for the standard plan</source>
        <translation>Sign up for the standard plan</translation>
    </message>
    <message id="Remaining Time:">
        <source>Time left:</source>
        <translation>Time left:</translation>
    </message>
    <message id="Restart">
        <source>Restart</source>
        <translation>Restart</translation>
    </message>
    <message id="Retrieve Password">
        <source>Forgot password?</source>
        <translation>Forgot password?</translation>
    </message>
    <message id="Rules">
        <source>Rules</source>
        <translation>Rules</translation>
    </message>
    <message id="S">
        <source>S</source>
        <translation>S</translation>
    </message>
    <message id="Save failed, please try again later">
        <source>Saving failed. Please try again later.</source>
        <translation>Saving failed. Please try again later.</translation>
    </message>
    <message id="Set up Telegram proxy">
        <source>Set up Telegram proxy</source>
        <translation>Set up Telegram proxy</translation>
    </message>
    <message id="Settings">
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message id="Share Now">
        <source>Share now</source>
        <translation>Share now</translation>
    </message>
    <message id="Shortcut">
        <source>Shortcuts</source>
        <translation>Shortcuts</translation>
    </message>
    <message id="Southeast Asia">
        <source>Southeast Asia</source>
        <translation>Southeast Asia</translation>
    </message>
    <message id="Subscribe">
        <source>Subscribe</source>
        <translation>Subscribe</translation>
    </message>
    <message id="Taking over the network with a virtual NIC">
        <source>Takes over all network traffic through a virtual network adapter.</source>
        <translation>Takes over all network traffic through a virtual network adapter.</translation>
    </message>
    <message id="Tarnel Payment">
        <source>Tarnel payment</source>
        <translation>Tarnel payment</translation>
    </message>
    <message id="Terminal Proxy">
        <source>Terminal proxy</source>
        <translation>Terminal proxy</translation>
    </message>
    <message id="Terms of Service">
        <source>Terms of Service</source>
        <translation>Terms of Service</translation>
    </message>
    <message id="Testing done">
        <source>Diagnosis complete</source>
        <translation>Diagnosis complete</translation>
    </message>
    <message id="Testing progress">
        <source>Progress</source>
        <translation>Progress</translation>
    </message>
    <message id="Thank you for your feedback, we will deal with your feedback seriously, repair and improve related functions as soon as possible.">
        <source>Thank you for your feedback. We take every report seriously and will fix and improve things as soon as we can.</source>
        <translation>Thank you for your feedback. We take every report seriously and will fix and improve things as soon as we can.</translation>
    </message>
    <message id="The &quot;Automatic&quot; option should be left on in most cases. Please only try to specify the protocol manually if automatic is not available.">
        <source>Keep “Automatic” in most cases. Choose a protocol yourself only when Automatic does not work.</source>
        <translation>Keep “Automatic” in most cases. Choose a protocol yourself only when Automatic does not work.</translation>
    </message>
    <message id="The address in the clipboard has been tampered with.">
        <source>The address in the clipboard has been tampered with.</source>
        <translation>The address in the clipboard has been tampered with.</translation>
    </message>
    <message id="The domain name and IP entered here will be forced to go through the encrypted channel and will not be connected directly.">
        <source>Domains and IP addresses listed here always go through the encrypted tunnel, never directly.</source>
        <translation>Domains and IP addresses listed here always go through the encrypted tunnel, never directly.</translation>
    </message>
    <message id="The domain name and IP entered here will connect directly, without going through the encrypted channel.">
        <source>Domains and IP addresses listed here connect directly, not through the encrypted tunnel.</source>
        <translation>Domains and IP addresses listed here connect directly, not through the encrypted tunnel.</translation>
    </message>
    <message id="The domain name entered here will be directly blocked from accessing the network.">
        <source>Access to the domains and IP addresses listed here is blocked.</source>
        <translation>Access to the domains and IP addresses listed here is blocked.</translation>
    </message>
    <message id="The link has been copied successfully, share it with your friends now!">
        <source>Link copied. Share it with your friends!</source>
        <translation>Link copied. Share it with your friends!</translation>
    </message>
    <message id="This option is usually recommended.">
        <source>Recommended for most uses.</source>
        <translation>Recommended for most uses.</translation>
    </message>
    <message id="Time Card">
        <source>Time card</source>
        <translation>Time card</translation>
    </message>
    <message id="Time card used successfully">
        <source>Time card used.</source>
        <translation>Time card used.</translation>
    </message>
    <message id="Tools">
        <source>Tools</source>
        <translation>Tools</translation>
    </message>
    <message id="Trying to log in automatically">
        <source>Signing in automatically…</source>
        <translation>Signing in automatically…</translation>
    </message>
    <message id="U">
        <source>U</source>
        <translation>U</translation>
    </message>
    <message id="USD">
        <source>USD</source>
        <translation>USD</translation>
    </message>
    <message id="Unable to bind your own invitation code">
        <source>You can't use your own invitation code.</source>
        <translation>You can't use your own invitation code.</translation>
    </message>
    <message id="Unbound">
        <source>Not set</source>
        <translation>Not set</translation>
    </message>
    <message id="Upgrade failed, please try again later">
        <source>Upgrade failed. Please try again later.</source>
        <translation>Upgrade failed. Please try again later.</translation>
    </message>
    <message id="Upgrade success">
        <source>Upgrade complete.</source>
        <translation>Upgrade complete.</translation>
    </message>
    <message id="Upgrade to:">
        <source>Upgrade to:</source>
        <translation>Upgrade to:</translation>
    </message>
    <message id="Use">
        <source>Use</source>
        <translation>Use</translation>
    </message>
    <message id="Use encrypted proxies for all network access.">
        <source>All network traffic goes through the encrypted proxy.</source>
        <translation>All network traffic goes through the encrypted proxy.</translation>
    </message>
    <message id="Use the system proxy settings, suitable for browsing the web, watching videos and other scenes. Generally it is recommended to use">
        <source>Uses the system proxy. Suits browsing, video and most everyday uses; recommended in general.</source>
        <translation>Uses the system proxy. Suits browsing, video and most everyday uses; recommended in general.</translation>
    </message>
    <message id="Use your mobile phone to scan the QR code and visit the website to download.">
        <source>Scan the QR code with your phone to download the app.</source>
        <translation>Scan the QR code with your phone to download the app.</translation>
    </message>
    <message id="UseIP">
        <source>IPv4 and IPv6</source>
        <translation>IPv4 and IPv6</translation>
    </message>
    <message id="UseIPv4">
        <source>IPv4 only</source>
        <translation>IPv4 only</translation>
    </message>
    <message id="UseIPv6">
        <source>IPv6 only</source>
        <translation>IPv6 only</translation>
    </message>
    <message id="VIP Expire Date: %@">
        <source>Membership ends: %1</source>
        <translation>Membership ends: %1</translation>
    </message>
    <message id="VIP Remaining Time: %@">
        <source>Time left: %1</source>
        <translation>Time left: %1</translation>
    </message>
    <message id="VIP Time">
        <source>Membership time</source>
        <translation>Membership time</translation>
    </message>
    <message id="Verify Email">
        <source>Verify email</source>
        <translation>Verify email</translation>
    </message>
    <message id="Voucher">
        <source>Voucher</source>
        <translation>Voucher</translation>
    </message>
    <message id="W">
        <source>W</source>
        <translation>W</translation>
    </message>
    <message id="Warning">
        <source>Warning</source>
        <translation>Warning</translation>
    </message>
    <message id="When clicking the close button">
        <source>When closing the window</source>
        <translation>When closing the window</translation>
    </message>
    <message id="about">
        <source>About</source>
        <translation>About</translation>
    </message>
    <message id="about content">
        <source>Tarnel keeps your connection private and fast. It encrypts your traffic and picks a good server for you, wherever you are.</source>
        <translation>Tarnel keeps your connection private and fast. It encrypts your traffic and picks a good server for you, wherever you are.</translation>
    </message>
    <message id="and">
        <source>and</source>
        <translation>and</translation>
    </message>
    <message id="appTitle">
        <source>Tarnel v%1 - %2</source>
        <translation>Tarnel v%1 - %2</translation>
    </message>
    <message id="are not node">
        <source>No server is available right now. Please try again later.</source>
        <translation>No server is available right now. Please try again later.</translation>
    </message>
    <message id="auto">
        <source>Auto</source>
        <translation>Auto</translation>
    </message>
    <message id="can not open address">
        <source>No application could open %1.</source>
        <translation>No application could open %1.</translation>
    </message>
    <message id="can not open dictory">
        <source>Cannot open the log folder.</source>
        <translation>Cannot open the log folder.</translation>
    </message>
    <message id="can not open link">
        <source>No web browser could open %1.</source>
        <translation>No web browser could open %1.</translation>
    </message>
    <message id="can not open mail">
        <source>No mail app could write to %1.</source>
        <translation>No mail app could write to %1.</translation>
    </message>
    <message id="check_availability">
        <source>Testing the connection…</source>
        <translation>Testing the connection…</translation>
    </message>
    <message id="check_port">
        <source>Checking ports…</source>
        <translation>Checking ports…</translation>
    </message>
    <message id="confirm delete account">
        <source>I understand, and I want to delete my account.</source>
        <translation>I understand, and I want to delete my account.</translation>
    </message>
    <message id="confirm password">
        <source>New password</source>
        <translation>New password</translation>
    </message>
    <message id="connect">
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
    <message id="connect model">
        <source>Protocol</source>
        <translation>Protocol</translation>
    </message>
    <message id="connect_success">
        <source>Connected successfully</source>
        <translation>Connected successfully</translation>
    </message>
    <message id="connected">
        <source>Connected</source>
        <translation>Connected</translation>
    </message>
    <message id="connecting">
        <source>Connecting…</source>
        <translation>Connecting…</translation>
    </message>
    <message id="connection check">
        <source>Connection check</source>
        <translation>Connection check</translation>
    </message>
    <message id="connection check info">
        <source>After connecting, test that websites can be reached, and switch servers if they can't.</source>
        <translation>After connecting, test that websites can be reached, and switch servers if they can't.</translation>
    </message>
    <message id="copy to clipboard">
        <source>Copy</source>
        <translation>Copy</translation>
    </message>
    <message id="created_at">
        <source>Added</source>
        <translation>Added</translation>
    </message>
    <message id="current_device">
        <source>This device</source>
        <translation>This device</translation>
    </message>
    <message id="custom title">
        <source>Customer service</source>
        <translation>Customer service</translation>
    </message>
    <message id="day">
        <source>d</source>
        <translation>d</translation>
    </message>
    <message id="delete account">
        <source>Delete account</source>
        <translation>Delete account</translation>
    </message>
    <message id="device_desc_error">
        <source>Use 1 to 16 letters, digits, _ or - for the name.</source>
        <translation>Use 1 to 16 letters, digits, _ or - for the name.</translation>
    </message>
    <message id="device_desc_update_error">
        <source>The device could not be renamed. Please try again.</source>
        <translation>The device could not be renamed. Please try again.</translation>
    </message>
    <message id="device_model">
        <source>Model</source>
        <translation>Model</translation>
    </message>
    <message id="device_name">
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message id="devices">
        <source>devices</source>
        <translation>devices</translation>
    </message>
    <message id="disclaimer">
        <source>Tarnel protects your privacy and speeds up your connection. Use it only as the laws and regulations of your country or region allow. You alone are responsible for how you use the service and for what you reach through it; we accept no liability for any loss caused by unlawful use.</source>
        <translation>Tarnel protects your privacy and speeds up your connection. Use it only as the laws and regulations of your country or region allow. You alone are responsible for how you use the service and for what you reach through it; we accept no liability for any loss caused by unlawful use.</translation>
    </message>
    <message id="disclaimer_ignore">
        <source>Don't show again for 7 days</source>
        <translation>Don't show again for 7 days</translation>
    </message>
    <message id="disclaimer_title">
        <source>Disclaimer</source>
        <translation>Disclaimer</translation>
    </message>
    <message id="disconnect">
        <source>Disconnect</source>
        <translation>Disconnect</translation>
    </message>
    <message id="disconnected">
        <source>Disconnected</source>
        <translation>Disconnected</translation>
    </message>
    <message id="disconnecting">
        <source>Disconnecting…</source>
        <translation>Disconnecting…</translation>
    </message>
    <message id="discount">
        <source>off</source>
        <translation>off</translation>
    </message>
    <message id="discount coupon">
        <source>Discount coupon</source>
        <translation>Discount coupon</translation>
    </message>
    <message id="download failed">
        <source>Download failed</source>
        <translation>Download failed</translation>
    </message>
    <message id="download host missing">
        <source>The download address is not known yet. Please try again in a moment.</source>
        <translation>The download address is not known yet. Please try again in a moment.</translation>
    </message>
    <message id="download incomplete">
        <source>The download was incomplete.</source>
        <translation>The download was incomplete.</translation>
    </message>
    <message id="drag and drop app to applications">
        <source>Tunnel mode needs Tarnel’s installed package. Install the tarnel package (for example: sudo apt install ./tarnel.deb), then start Tarnel from the applications menu. Tarnel quits when you close this message.</source>
        <translation>Tunnel mode needs Tarnel’s installed package. Install the tarnel package (for example: sudo apt install ./tarnel.deb), then start Tarnel from the applications menu. Tarnel quits when you close this message.</translation>
    </message>
    <message id="empty notify">
        <source>No notices yet</source>
        <translation>No notices yet</translation>
    </message>
    <message id="exit">
        <source>Quit the app</source>
        <translation>Quit the app</translation>
    </message>
    <message id="feedback">
        <source>Feedback</source>
        <translation>Feedback</translation>
    </message>
    <message id="free to use">
        <source>Get free time</source>
        <translation>Get free time</translation>
    </message>
    <message id="get">
        <source>Get code</source>
        <translation>Get code</translation>
    </message>
    <message id="global">
        <source>Global</source>
        <translation>Global</translation>
    </message>
    <message id="half_a_year">
        <source>Half-year</source>
        <translation>Half-year</translation>
    </message>
    <message id="has new version">
        <source>A new version is available.</source>
        <translation>A new version is available.</translation>
    </message>
    <message id="help center">
        <source>Help center</source>
        <translation>Help center</translation>
    </message>
    <message id="hide">
        <source>Hide window</source>
        <translation>Hide window</translation>
    </message>
    <message id="hideWindowAndDockIcon">
        <source>Hide to tray</source>
        <translation>Hide to tray</translation>
    </message>
    <message id="hour">
        <source>h</source>
        <translation>h</translation>
    </message>
    <message id="http port">
        <source>HTTP port</source>
        <translation>HTTP port</translation>
    </message>
    <message id="ignore version">
        <source>Skip this version</source>
        <translation>Skip this version</translation>
    </message>
    <message id="initalize...">
        <source>Starting…</source>
        <translation>Starting…</translation>
    </message>
    <message id="input_email_error">
        <source>Please enter a valid email address.</source>
        <translation>Please enter a valid email address.</translation>
    </message>
    <message id="input_password_error">
        <source>The password must be 6 to 16 characters.</source>
        <translation>The password must be 6 to 16 characters.</translation>
    </message>
    <message id="is new version (%d)">
        <source>You're up to date (%1).</source>
        <translation>You're up to date (%1).</translation>
    </message>
    <message id="load_devices_failed">
        <source>The device list could not be loaded. Please try again later.</source>
        <translation>The device list could not be loaded. Please try again later.</translation>
    </message>
    <message id="location">
        <source>Location</source>
        <translation>Location</translation>
    </message>
    <message id="minute">
        <source>min</source>
        <translation>min</translation>
    </message>
    <message id="mobile apps">
        <source>Mobile apps</source>
        <translation>Mobile apps</translation>
    </message>
    <message id="month">
        <source>mo</source>
        <translation>mo</translation>
    </message>
    <message id="more devices">
        <source>Add devices</source>
        <translation>Add devices</translation>
    </message>
    <message id="multiple version">
        <source>Multi-device plan</source>
        <translation>Multi-device plan</translation>
    </message>
    <message id="need connected">
        <source>This needs an active connection. Confirm to connect now.</source>
        <translation>This needs an active connection. Confirm to connect now.</translation>
    </message>
    <message id="need update">
        <source>This version is no longer supported. Please update to continue.</source>
        <translation>This version is no longer supported. Please update to continue.</translation>
    </message>
    <message id="network error">
        <source>Cannot reach the service. Check your network, then start Tarnel again.</source>
        <translation>Cannot reach the service. Check your network, then start Tarnel again.</translation>
    </message>
    <message id="network error.">
        <source>Network error. Please check your connection.</source>
        <translation>Network error. Please check your connection.</translation>
    </message>
    <message id="no package installer">
        <source>The update was downloaded to %1, but no package installer opened it. Please install it with your system&apos;s package manager.</source>
        <translation>The update was downloaded to %1, but no package installer opened it. Please install it with your system&apos;s package manager.</translation>
    </message>
    <message id="node unsupport protocol">
        <source>No server supports the chosen protocol. Choose another protocol or Automatic.</source>
        <translation>No server supports the chosen protocol. Choose another protocol or Automatic.</translation>
    </message>
    <message id="normal">
        <source>Normal</source>
        <translation>Normal</translation>
    </message>
    <message id="normal version">
        <source>Standard plan</source>
        <translation>Standard plan</translation>
    </message>
    <message id="not vip">
        <source>No membership</source>
        <translation>No membership</translation>
    </message>
    <message id="off">
        <source>Off</source>
        <translation>Off</translation>
    </message>
    <message id="on">
        <source>On</source>
        <translation>On</translation>
    </message>
    <message id="only support normal">
        <source>This works only in normal mode. Switch the running mode to normal in the connection settings.</source>
        <translation>This works only in normal mode. Switch the running mode to normal in the connection settings.</translation>
    </message>
    <message id="open email app">
        <source>Open mail app</source>
        <translation>Open mail app</translation>
    </message>
    <message id="open failed : %@">
        <source>The update could not be opened: %1</source>
        <translation>The update could not be opened: %1</translation>
    </message>
    <message id="open_connect">
        <source>Starting the connection…</source>
        <translation>Starting the connection…</translation>
    </message>
    <message id="open_node">
        <source>Opening a server…</source>
        <translation>Opening a server…</translation>
    </message>
    <message id="order now">
        <source>Buy now</source>
        <translation>Buy now</translation>
    </message>
    <message id="original price">
        <source>Original price</source>
        <translation>Original price</translation>
    </message>
    <message id="personal center">
        <source>Account</source>
        <translation>Account</translation>
    </message>
    <message id="platform">
        <source>Platform</source>
        <translation>Platform</translation>
    </message>
    <message id="please enter account">
        <source>Email address</source>
        <translation>Email address</translation>
    </message>
    <message id="please enter keyword">
        <source>Search servers</source>
        <translation>Search servers</translation>
    </message>
    <message id="please enter password">
        <source>Please enter your password</source>
        <translation>Please enter your password</translation>
    </message>
    <message id="please enter the invitation code">
        <source>Please enter an invitation code</source>
        <translation>Please enter an invitation code</translation>
    </message>
    <message id="please enter verification code">
        <source>Please enter the verification code</source>
        <translation>Please enter the verification code</translation>
    </message>
    <message id="progress：%lld/%lld">
        <source>Progress: %1/%2</source>
        <translation>Progress: %1/%2</translation>
    </message>
    <message id="proxy rule max length">
        <source>A list is too long. Please remove some entries.</source>
        <translation>A list is too long. Please remove some entries.</translation>
    </message>
    <message id="purchase failed">
        <source>Purchase failed.</source>
        <translation>Purchase failed.</translation>
    </message>
    <message id="purchase success">
        <source>Purchase complete. Thank you!</source>
        <translation>Purchase complete. Thank you!</translation>
    </message>
    <message id="quit">
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message id="read and confirm">
        <source>Please read and tick the confirmation first.</source>
        <translation>Please read and tick the confirmation first.</translation>
    </message>
    <message id="recommended">
        <source>Recommended plans</source>
        <translation>Recommended plans</translation>
    </message>
    <message id="remaining days:">
        <source>Time left:</source>
        <translation>Time left:</translation>
    </message>
    <message id="retry">
        <source>Retry</source>
        <translation>Retry</translation>
    </message>
    <message id="routing mode">
        <source>Routing mode</source>
        <translation>Routing mode</translation>
    </message>
    <message id="routing strategy">
        <source>IP version</source>
        <translation>IP version</translation>
    </message>
    <message id="routing strategy tips">
        <source>Which IP versions a domain name may resolve to: IPv4, IPv6 or both.</source>
        <translation>Which IP versions a domain name may resolve to: IPv4, IPv6 or both.</translation>
    </message>
    <message id="running mode">
        <source>Running mode</source>
        <translation>Running mode</translation>
    </message>
    <message id="season">
        <source>Quarterly</source>
        <translation>Quarterly</translation>
    </message>
    <message id="second">
        <source>s</source>
        <translation>s</translation>
    </message>
    <message id="server is nil">
        <source>No server address was received. Please try again.</source>
        <translation>No server address was received. Please try again.</translation>
    </message>
    <message id="setting change tips">
        <source>The change takes effect after reconnecting.</source>
        <translation>The change takes effect after reconnecting.</translation>
    </message>
    <message id="share">
        <source>Share</source>
        <translation>Share</translation>
    </message>
    <message id="show">
        <source>Show window</source>
        <translation>Show window</translation>
    </message>
    <message id="sign in">
        <source>Sign in</source>
        <translation>Sign in</translation>
    </message>
    <message id="sign out">
        <source>Sign out</source>
        <translation>Sign out</translation>
    </message>
    <message id="sign up">
        <source>Sign up</source>
        <translation>Sign up</translation>
    </message>
    <message id="smart">
        <source>Smart</source>
        <translation>Smart</translation>
    </message>
    <message id="socks port">
        <source>SOCKS port</source>
        <translation>SOCKS port</translation>
    </message>
    <message id="start check">
        <source>Start diagnosis</source>
        <translation>Start diagnosis</translation>
    </message>
    <message id="submit">
        <source>Submit</source>
        <translation>Submit</translation>
    </message>
    <message id="submit_report">
        <source>Send report</source>
        <translation>Send report</translation>
    </message>
    <message id="support">
        <source>Support</source>
        <translation>Support</translation>
    </message>
    <message id="switch failed">
        <source>The game console proxy could not start. Please try again.</source>
        <translation>The game console proxy could not start. Please try again.</translation>
    </message>
    <message id="switch help">
        <source>How to set up your console</source>
        <translation>How to set up your console</translation>
    </message>
    <message id="switch proxy port">
        <source>Port</source>
        <translation>Port</translation>
    </message>
    <message id="switch proxy server">
        <source>Proxy server</source>
        <translation>Proxy server</translation>
    </message>
    <message id="switch proxy setting">
        <source>Game console proxy</source>
        <translation>Game console proxy</translation>
    </message>
    <message id="system_extension_faild">
        <source>Tunnel mode could not be enabled (%1).</source>
        <translation>Tunnel mode could not be enabled (%1).</translation>
    </message>
    <message id="system_extension_reboot">
        <source>Restart your computer to finish setting up tunnel mode. Tarnel quits when you close this message.</source>
        <translation>Restart your computer to finish setting up tunnel mode. Tarnel quits when you close this message.</translation>
    </message>
    <message id="system_tips">
        <source>Tunnel mode needs your permission. Enter your password in the authentication window the system shows; tunnel mode is chosen as soon as it is granted.</source>
        <translation>Tunnel mode needs your permission. Enter your password in the authentication window the system shows; tunnel mode is chosen as soon as it is granted.</translation>
    </message>
    <message id="tag">
        <source>Tags</source>
        <translation>Tags</translation>
    </message>
    <message id="tip_please_read">
        <source>Please read and accept the Privacy Policy and Terms of Service.</source>
        <translation>Please read and accept the Privacy Policy and Terms of Service.</translation>
    </message>
    <message id="tips_title">
        <source>Notice</source>
        <translation>Notice</translation>
    </message>
    <message id="tunnel">
        <source>Tunnel</source>
        <translation>Tunnel</translation>
    </message>
    <message id="tunnel service not running">
        <source>Tarnel’s tunnel service is installed but not running. Start it in a terminal with:
sudo systemctl enable --now io.tarnelmacos.ne.socket</source>
        <translation>Tarnel’s tunnel service is installed but not running. Start it in a terminal with:
sudo systemctl enable --now io.tarnelmacos.ne.socket</translation>
    </message>
    <message id="txt_confirm_email">
        <source>Please make sure %1 is right: we will send mail to this address.</source>
        <translation>Please make sure %1 is right: we will send mail to this address.</translation>
    </message>
    <message id="unavailable node">
        <source>The selected server is unavailable. Choose another server or Auto.</source>
        <translation>The selected server is unavailable. Choose another server or Auto.</translation>
    </message>
    <message id="unbind">
        <source>Remove</source>
        <translation>Remove</translation>
    </message>
    <message id="unbind_failed">
        <source>The device could not be removed. Please try again.</source>
        <translation>The device could not be removed. Please try again.</translation>
    </message>
    <message id="unbound tips">
        <source>This device has been removed from your account. Please sign in again.</source>
        <translation>This device has been removed from your account. Please sign in again.</translation>
    </message>
    <message id="universal">
        <source>Any plan</source>
        <translation>Any plan</translation>
    </message>
    <message id="update downloading">
        <source>The update is downloading.</source>
        <translation>The update is downloading.</translation>
    </message>
    <message id="update now">
        <source>Update now</source>
        <translation>Update now</translation>
    </message>
    <message id="updated_at">
        <source>Last active</source>
        <translation>Last active</translation>
    </message>
    <message id="verification_code_sent">
        <source>Verification code sent. Please check your email.</source>
        <translation>Verification code sent. Please check your email.</translation>
    </message>
    <message id="vip expired tips">
        <source>Your membership has expired. Subscribe to keep using Tarnel.</source>
        <translation>Your membership has expired. Subscribe to keep using Tarnel.</translation>
    </message>
    <message id="vip_time">
        <source>Membership: %1 left</source>
        <translation>Membership: %1 left</translation>
    </message>
    <message id="visit official website">
        <source>Visit official website</source>
        <translation>Visit official website</translation>
    </message>
    <message id="voucher &amp; discount">
        <source>Vouchers &amp; discounts</source>
        <translation>Vouchers &amp; discounts</translation>
    </message>
    <message id="vpn_cancel">
        <source>The VPN connection was stopped.</source>
        <translation>The VPN connection was stopped.</translation>
    </message>
    <message id="year">
        <source>yr</source>
        <translation>yr</translation>
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
        <translation>, save </translation>
    </message>
</context>
</TS>
