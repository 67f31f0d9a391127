import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Home

// The home screen: the connect button over its background animation, the status line, the
// routing-mode pill, the location card with the membership and the proxy tools.
Item {
    id: page
    objectName: "mainView"
    width: Theme.pageWidth
    height: Theme.pageHeight

    property bool switchHovering: false
    property bool connectedHovering: false
    readonly property int status: AppStateManager.vpnStatus
    // VPNStatus: connecting 0, connected 1, disconnecting 2, disconnected 3, userCanceled 4.
    readonly property bool connected: status === 1
    readonly property var login: AppStateManager.loginInfo
    // Read through HomeScreen; this only makes the bindings follow the tag.
    readonly property var tag: AppStateManager.currentTag
    readonly property bool hasTag: { page.tag; return HomeScreen.hasTag() }
    // A page pushed over this one has finished sliding in: nothing here can be seen.
    readonly property bool covered: AppStateManager.router.rootName === "main"
                                    && AppStateManager.router.depth > 0 && AppStateManager.router.offsetX === 0

    Component.onCompleted: HomeScreen.appear()
    Component.onDestruction: HomeScreen.disappear()
    onVisibleChanged: visible ? HomeScreen.appear() : HomeScreen.disappear()

    Connections {
        target: HomeScreen
        function onDisclaimerDue() { page.showDisclaimer() }
    }
    function showDisclaimer() {
        DialogManager.showComponent(disclaimerComponent, "disclaimer_title", true, [], function() {})
    }
    Component { id: disclaimerComponent; DisclaimerView {} }

    // Back to front: background animation, button animation, the page column, the dim overlay.
    // Each segment plays once when the controller names it (a looping one is named again); a
    // resting one holds its last frame, so an idle page draws nothing. A segment named while
    // another played is taken up when that one ends. Covered, or in a window put away, the page
    // draws nothing, but each segment still ends on time: a connect made meanwhile (from the
    // tray) plays its sequence through, and its end brings the window forward.
    AnimationPlayer {
        id: backgroundPlayer
        objectName: "backgroundAnimation"
        anchors.fill: parent
        paused: page.covered
        Component.onCompleted: animationName = HomeAnimation.backgroundAnimation
        onCompleted: function(finished) {
            if (!finished) return
            HomeAnimation.backgroundAnimationFinished()
            if (animationName !== HomeAnimation.backgroundAnimation)
                animationName = HomeAnimation.backgroundAnimation
        }
    }
    AnimationPlayer {
        id: buttonPlayer
        objectName: "buttonAnimation"
        anchors.fill: parent
        paused: page.covered
        Component.onCompleted: animationName = HomeAnimation.buttonAnimation
        onCompleted: function(finished) {
            if (!finished) return
            HomeAnimation.buttonAnimationFinished()
            if (animationName !== HomeAnimation.buttonAnimation)
                animationName = HomeAnimation.buttonAnimation
        }
    }
    Connections {
        target: HomeAnimation
        function onButtonAnimationChanged() { buttonPlayer.animationName = HomeAnimation.buttonAnimation }
        function onBackgroundAnimationChanged() { backgroundPlayer.animationName = HomeAnimation.backgroundAnimation }
    }

    Column {
        id: column
        anchors.fill: parent

        // Top bar.
        Item {
            width: parent.width
            height: 15 + 24
            Image {
                objectName: "homeMenu"
                x: 20; y: 15
                source: Assets.image("home_menu")
                MouseArea { anchors.fill: parent; onClicked: HomeScreen.openMenu() }
            }
            Image {
                anchors.horizontalCenter: parent.horizontalCenter
                y: 15
                source: Assets.image("home_logo")
            }
            Row {
                anchors.right: parent.right
                anchors.rightMargin: 20
                y: 15
                spacing: 12
                Image {
                    objectName: "homeNotify"
                    source: Assets.image("home_notify")
                    MouseArea { anchors.fill: parent; onClicked: HomeScreen.openNotify() }
                    Rectangle {
                        visible: AppStateManager.hasNotices
                        width: 10; height: 10; radius: 5
                        color: "red"
                        anchors.right: parent.right
                        anchors.top: parent.top
                    }
                }
                Image {
                    objectName: "homeRecharge"
                    source: Assets.image("home_recharge")
                    MouseArea { anchors.fill: parent; onClicked: ConnectManager.openPayment() }
                }
            }
        }

        Item { width: 1; height: 40 + 20 }

        // The tap area lies over the button animation.
        Item {
            objectName: "connectArea"
            width: 200; height: 200
            anchors.horizontalCenter: parent.horizontalCenter
            MouseArea { anchors.fill: parent; onClicked: ConnectManager.toggle(true) }
        }

        // Status line.
        Row {
            objectName: "statusLine"
            anchors.horizontalCenter: parent.horizontalCenter
            height: 30
            spacing: 6
            Image {
                id: connectedIcon
                objectName: "connectedIcon"
                visible: page.connected
                anchors.verticalCenter: parent.verticalCenter
                source: Assets.image("ic_green_connect")
                HoverHandler { onHoveredChanged: page.connectedHovering = hovered }
            }
            Text {
                objectName: "statusText"
                anchors.verticalCenter: parent.verticalCenter
                text: qsTrId(AppStateManager.currentState)
                color: Qt.rgba(0, 0, 0, 0.7)
                font.pixelSize: 15
            }
        }

        // Link and routing row.
        Row {
            x: 20
            topPadding: 60
            spacing: 10
            height: 60 + 40
            Text {
                objectName: "promotionLink"
                visible: { AppStateManager.live; return HomeScreen.promotionShown() }
                anchors.verticalCenter: routePill.verticalCenter
                text: { AppStateManager.live; AppStateManager.currentLanguage; return HomeScreen.promotionText() }
                // A long promotion text is cut short: the routing pill beside it stays whole.
                width: Math.min(implicitWidth, Theme.pageWidth - 2 * parent.x - parent.spacing - routePill.width)
                elide: Text.ElideRight
                font.underline: true
                color: Theme.blue
                MouseArea { anchors.fill: parent; onClicked: HomeScreen.openPromotionLink() }
            }
            Item {
                id: routePill
                objectName: "routePill"
                width: 120; height: 40
                Image { anchors.fill: parent; source: Assets.image("ic_home_route_bg") }
                Rectangle {
                    x: 28; y: 5
                    width: 80; height: 30
                    radius: 15
                    color: Qt.rgba(0.5, 0.5, 0.5, 0.1)
                    clip: true
                    Row {
                        id: pillContent
                        anchors.centerIn: parent
                        spacing: 4
                        // A row aligns its items at the top: the text and its icons share one centre line.
                        Image {
                            objectName: "routePillGlobalIcon"
                            anchors.verticalCenter: parent.verticalCenter
                            visible: !AppStateManager.smartRoute
                            source: Assets.image("ic_home_route_global")
                        }
                        Text {
                            objectName: "routePillText"
                            anchors.verticalCenter: parent.verticalCenter
                            text: AppStateManager.smartRoute ? qsTrId("smart") : qsTrId("global")
                            color: Theme.blue
                            font.pixelSize: 12
                        }
                        Image {
                            objectName: "routePillSmartIcon"
                            anchors.verticalCenter: parent.verticalCenter
                            visible: AppStateManager.smartRoute
                            source: Assets.image("ic_home_route_smart")
                        }
                    }
                    Connections {
                        target: AppStateManager
                        function onSmartRouteChanged() {
                            slide.from = AppStateManager.smartRoute ? -80 : 80
                            slide.restart()
                        }
                    }
                    NumberAnimation {
                        id: slide
                        target: pillContent
                        property: "anchors.horizontalCenterOffset"
                        to: 0
                        duration: 250
                        easing.type: Easing.InOutQuad
                    }
                }
                MouseArea { anchors.fill: parent; onClicked: HomeScreen.switchRouteMode() }
            }
        }

        Item { width: 1; height: Math.max(0, page.height - 15 - 24 - 60 - 200 - 30 - 100 - card.height) }

        // Location card: only the top-left corner is rounded.
        Rectangle {
            id: card
            objectName: "locationCard"
            width: parent.width
            height: cardColumn.height
            color: "white"
            radius: 15
            Rectangle { anchors.right: parent.right; anchors.top: parent.top; width: parent.width - 15; height: 15; color: "white" }
            Rectangle { anchors.left: parent.left; anchors.bottom: parent.bottom; width: parent.width; height: parent.height - 15; color: "white" }

            Column {
                id: cardColumn
                width: parent.width
                Item {
                    objectName: "tagRow"
                    width: parent.width; height: 50 + 15
                    Row {
                        x: 25; y: 15
                        width: parent.width - 50; height: 50
                        spacing: 10
                        Image {
                            width: 35; height: 28
                            anchors.verticalCenter: parent.verticalCenter
                            fillMode: Image.PreserveAspectFit
                            source: { page.tag; return page.hasTag ? HomeScreen.tagIcon() : Assets.image("ic_home_tag") }
                        }
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            width: parent.width - 35 - 20 - 20
                            text: { page.tag; return page.hasTag ? HomeScreen.tagName() : qsTrId("tag") }
                            elide: Text.ElideRight
                        }
                        Image { anchors.verticalCenter: parent.verticalCenter; source: Assets.symbol("chevron.forward"); width: 10; height: 14 }
                    }
                    MouseArea { anchors.fill: parent; onClicked: HomeScreen.openTag() }
                }
                Rectangle { x: 25; width: parent.width - 50; height: 1; color: Qt.rgba(0.9, 0.9, 0.9, 1) }
                Item {
                    objectName: "locationRow"
                    width: parent.width; height: 50
                    Row {
                        x: 25
                        width: parent.width - 50; height: 50
                        spacing: 10
                        Image {
                            objectName: "locationIcon"
                            width: 35; height: 28
                            anchors.verticalCenter: parent.verticalCenter
                            fillMode: Image.PreserveAspectFit
                            source: AppStateManager.locationIcon === "" ? Assets.image("ic_auto") : AppStateManager.locationIcon
                        }
                        Text {
                            objectName: "locationName"
                            anchors.verticalCenter: parent.verticalCenter
                            width: parent.width - 35 - 20 - 20
                            text: AppStateManager.locationName
                            elide: Text.ElideRight
                        }
                        Image { anchors.verticalCenter: parent.verticalCenter; source: Assets.symbol("chevron.forward"); width: 10; height: 14 }
                    }
                    MouseArea { anchors.fill: parent; onClicked: HomeScreen.openLocation() }
                }
                Rectangle { width: parent.width; height: 1; color: Qt.rgba(0.9, 0.9, 0.9, 1) }
                // Service row.
                Item {
                    width: parent.width; height: 15 + 24 + 15
                    Row {
                        x: 25
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 10
                        Rectangle {
                            objectName: "supportPill"
                            width: supportRow.width + 10; height: supportRow.height + 10
                            radius: height / 2
                            color: "transparent"
                            border.width: 1
                            border.color: "#336AF9"
                            Row {
                                id: supportRow
                                anchors.centerIn: parent
                                spacing: 3
                                Image { source: Assets.image("ic_home_customer_service"); width: 12; height: 12 }
                                Text { text: qsTrId("support"); font.pixelSize: 10; color: "#336AF9" }
                            }
                            MouseArea { anchors.fill: parent; onClicked: HomeScreen.openCustomerService() }
                        }
                        Text {
                            objectName: "membership"
                            anchors.verticalCenter: parent.verticalCenter
                            text: { page.login; AppStateManager.currentLanguage; return HomeScreen.membershipText() }
                            font.pixelSize: 12
                            width: 190
                            elide: Text.ElideRight
                        }
                    }
                    // The proxy tools.
                    Row {
                        anchors.right: parent.right
                        anchors.rightMargin: 25
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 12
                        Image {
                            id: switchButton
                            objectName: "switchButton"
                            width: 15; height: 15
                            source: Assets.image(AppStateManager.switchListen ? "ic_home_switch_red" : "ic_home_switch_gray")
                            MouseArea { anchors.fill: parent; onClicked: ConnectManager.toggleSwitchListen() }
                            HoverHandler {
                                onHoveredChanged: if (hovered && AppStateManager.switchListen) page.switchHovering = true
                            }
                        }
                        Image {
                            objectName: "telegramButton"
                            width: 15; height: 15
                            source: Assets.image(page.connected ? "ic_home_telegram" : "ic_home_telegram_gray")
                            MouseArea { anchors.fill: parent; onClicked: HomeScreen.openTelegramProxy() }
                        }
                        Image {
                            objectName: "browserButton"
                            width: 15; height: 15
                            source: Assets.image(page.connected ? "ic_sf_selected" : "ic_sf_normal")
                            MouseArea { anchors.fill: parent; onClicked: HomeScreen.openBrowserCheck() }
                        }
                    }
                }
            }
        }
    }

    // Connection-info popover, over the connected icon with its arrow at the bottom.
    Rectangle {
        objectName: "connectionInfo"
        visible: page.connectedHovering && page.connected
        width: 250
        height: infoColumn.height + 10
        radius: 8
        color: "white"
        // Placed when shown: the icon has its place in the laid-out page by then.
        x: visible ? Math.max(5, Math.min(page.width - width - 5, connectedIcon.mapToItem(page, 0, 0).x - width / 2)) : 0
        y: visible ? connectedIcon.mapToItem(page, 0, 0).y + connectedIcon.height + 8 : 0
        Column {
            id: infoColumn
            y: 5
            width: parent.width
            Repeater {
                model: {
                    var rows = [
                        ["routing mode", qsTrId(AppStateManager.smartRoute ? "smart" : "global")],
                        ["connect model", AppStateManager.protocolName],
                        ["running mode", qsTrId(AppStateManager.tunnelMode ? "tunnel" : "normal")],
                        ["connection check", qsTrId(AppStateManager.checkConnection ? "on" : "off")]
                    ]
                    if (!AppStateManager.tunnelMode) {
                        rows.push(["socks port", String(HomeScreen.socksPort())])
                        rows.push(["http port", String(HomeScreen.httpPort())])
                    }
                    return rows
                }
                delegate: Item {
                    width: infoColumn.width; height: 24
                    Text { x: 15; anchors.verticalCenter: parent.verticalCenter; text: qsTrId(modelData[0]); color: Qt.rgba(0, 0, 0, 0.6) }
                    Text {
                        anchors.right: parent.right; anchors.rightMargin: 15
                        anchors.verticalCenter: parent.verticalCenter
                        text: modelData[1]; color: Qt.rgba(0, 0, 0, 0.6)
                    }
                }
            }
        }
    }

    // The dim overlay and the switch panel while it is open.
    Rectangle {
        objectName: "dimOverlay"
        anchors.fill: parent
        visible: page.switchHovering
        color: Qt.rgba(0, 0, 0, 0.3)
        MouseArea { anchors.fill: parent; onClicked: page.switchHovering = false }
    }
    Rectangle {
        objectName: "switchPanel"
        visible: page.switchHovering
        width: 260
        height: panelColumn.height
        radius: 8
        color: "white"
        // The button sits at the foot of the page: the panel opens above it.
        x: page.width - width - 10
        y: visible ? switchButton.mapToItem(page, 0, 0).y - height - 10 : 0
        Column {
            id: panelColumn
            width: parent.width
            Text {
                padding: 12
                text: qsTrId("switch proxy setting")
                font.bold: true
                font.pixelSize: 17
                color: Qt.rgba(0, 0, 0, 0.6)
            }
            Text {
                leftPadding: 15; rightPadding: 15
                text: qsTrId("switch proxy server") + "  " + (page.switchHovering ? HomeScreen.switchAddress() : "")
                color: Qt.rgba(0, 0, 0, 0.6)
            }
            Text {
                leftPadding: 15; rightPadding: 15; topPadding: 6
                text: qsTrId("switch proxy port") + "  " + (page.switchHovering ? HomeScreen.switchPort() : "")
                color: Qt.rgba(0, 0, 0, 0.6)
            }
            Text {
                leftPadding: 15; rightPadding: 15; bottomPadding: 15; topPadding: 6
                text: qsTrId("switch help")
                font.underline: true
                color: Qt.rgba(0, 0, 0, 0.6)
                MouseArea { anchors.fill: parent; onClicked: HomeScreen.openSwitchHelp() }
            }
        }
    }
}
