import QtQuick
import QtQuick.Controls.Basic
import Lumora.Base
import Lumora.Controls
import Lumora.Account

// The sign-in page: signing in, registering for one or several devices, and resetting a
// forgotten password, in one form whose rows follow the chosen kind. Always light, whatever the
// desktop's colour scheme.
Rectangle {
    id: page
    objectName: "loginView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: "white"

    readonly property int formInset: 50
    readonly property color frameColor: Qt.rgba(0.5, 0.5, 0.5, 0.6)
    readonly property bool isRegistration: vm.typeName === "register_singl"
                                           || vm.typeName === "register_multiple"

    LoginModel { id: vm }

    Component.onCompleted: vm.appear()

    // Header: the picture, the logo, and the support and form-kind links.
    Item {
        id: header
        width: parent.width
        height: 200
        Image {
            anchors.fill: parent
            source: Assets.image("ic_login_bg")
            fillMode: Image.Stretch
            sourceSize.width: 400
            sourceSize.height: 220
        }
        Image {
            anchors.horizontalCenter: parent.horizontalCenter
            y: 34
            source: Assets.image("ic_login_logo")
            sourceSize.width: 100
            sourceSize.height: 100
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            y: 148
            spacing: 60
            Text {
                objectName: "supportLink"
                text: qsTrId("support")
                color: "white"
                font.pixelSize: 16
                MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.openSupport() }
            }
            Text {
                objectName: "typeLink"
                text: vm.typeName === "login" ? qsTrId("sign up") : qsTrId("sign in")
                color: "white"
                font.pixelSize: 16
                MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.switchType() }
            }
        }
    }

    Column {
        id: form
        objectName: "loginForm"
        x: page.formInset
        y: header.height + 16
        width: page.width - 2 * page.formInset
        spacing: 14

        Text {
            objectName: "formTitle"
            visible: page.isRegistration
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: vm.typeName === "register_singl" ? qsTrId("normal version") : qsTrId("multiple version")
            color: "black"
            font.pixelSize: Theme.titleFontSize
            font.bold: true
        }

        TextField {
            id: accountField
            objectName: "accountField"
            width: parent.width
            height: 36
            placeholderText: qsTrId("please enter account")
            placeholderTextColor: Theme.gray
            color: "black"
            text: vm.account
            rightPadding: chevron.visible ? 30 : 8
            onTextEdited: vm.account = text
            onActiveFocusChanged: vm.accountFocusChanged()
            onAccepted: vm.accountReturned()
            background: Rectangle { color: "white"; border.color: page.frameColor; border.width: 1 }
            Image {
                id: chevron
                objectName: "historyChevron"
                visible: vm.typeName === "login" && vm.suggestions.length > 0
                anchors.right: parent.right
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                source: Assets.symbol(vm.showHistory ? "chevron.up" : "chevron.down")
                sourceSize.width: 14
                sourceSize.height: 14
                MouseArea { anchors.fill: parent; anchors.margins: -6; onClicked: vm.toggleHistory() }
            }
        }

        TextField {
            id: codeField
            objectName: "codeField"
            visible: vm.typeName === "forget"
            width: parent.width
            height: 36
            placeholderText: qsTrId("please enter verification code")
            placeholderTextColor: Theme.gray
            color: "black"
            text: vm.code
            rightPadding: codeButton.width + 16
            onTextEdited: vm.code = text
            background: Rectangle { color: "white"; border.color: page.frameColor; border.width: 1 }
            Text {
                id: codeButton
                objectName: "codeButton"
                anchors.right: parent.right
                anchors.rightMargin: 8
                anchors.verticalCenter: parent.verticalCenter
                text: vm.counting ? String(vm.elapsedSeconds) : qsTrId("get")
                color: Theme.blue
                font.pixelSize: Theme.fontSize
                MouseArea { anchors.fill: parent; anchors.margins: -6; onClicked: vm.requestCode() }
            }
        }

        TextField {
            id: passwordField
            objectName: "passwordField"
            width: parent.width
            height: 36
            echoMode: TextInput.Password
            placeholderText: vm.typeName === "forget" ? qsTrId("confirm password") : qsTrId("please enter password")
            placeholderTextColor: Theme.gray
            color: "black"
            text: vm.password
            onTextEdited: vm.password = text
            onAccepted: if (vm.typeName === "login") vm.submit()
            background: Rectangle { color: "white"; border.color: page.frameColor; border.width: 1 }
        }

        TextField {
            objectName: "promoterField"
            visible: vm.typeName === "register_singl"
            width: parent.width
            height: 36
            // The server's own text, shown as it comes.
            placeholderText: vm.promoterPlaceholder
            placeholderTextColor: Theme.gray
            color: "black"
            text: vm.code
            onTextEdited: vm.code = text
            background: Rectangle { color: "white"; radius: 5; border.color: page.frameColor; border.width: 1 }
        }

        Rectangle {
            objectName: "submitButton"
            width: parent.width
            height: 40
            radius: 10
            color: Theme.blue
            Text {
                anchors.centerIn: parent
                text: vm.typeName === "login" ? qsTrId("sign in")
                      : vm.typeName === "forget" ? qsTrId("Confirm") : qsTrId("sign up")
                color: "white"
                font.pixelSize: 14
            }
            MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.submit() }
        }

        Text {
            objectName: "retrieveLink"
            visible: vm.typeName === "login"
            anchors.horizontalCenter: parent.horizontalCenter
            text: qsTrId("Retrieve Password")
            color: Theme.blue
            font.pixelSize: Theme.fontSize
            MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.retrievePassword() }
        }

        Flow {
            objectName: "agreementRow"
            visible: page.isRegistration
            width: parent.width
            spacing: 4
            SymbolImage {
                objectName: "agreeMark"
                width: 16
                height: 16
                source: Assets.symbol(vm.agree ? "checkmark.circle.fill" : "circle")
                color: vm.agree ? Theme.blue : Theme.gray
                MouseArea { anchors.fill: parent; anchors.margins: -4; onClicked: vm.toggleAgree() }
            }
            Text { text: qsTrId("Agree"); color: "black"; font.pixelSize: 12 }
            Text {
                objectName: "privacyLink"
                text: qsTrId("Privacy Policy")
                color: Theme.blue
                font.pixelSize: 12
                MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.openPrivacy() }
            }
            Text { text: qsTrId("and"); color: "black"; font.pixelSize: 12 }
            Text {
                objectName: "termsLink"
                text: qsTrId("Terms of Service")
                color: Theme.blue
                font.pixelSize: 12
                MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.openTerms() }
            }
        }

        Rectangle {
            objectName: "planSwitch"
            visible: page.isRegistration
            anchors.horizontalCenter: parent.horizontalCenter
            width: Math.min(parent.width, planText.implicitWidth + 30)
            height: planText.implicitHeight + 14
            radius: 5
            color: "transparent"
            border.color: Theme.blue
            border.width: 2
            Text {
                id: planText
                anchors.centerIn: parent
                width: Math.min(implicitWidth, form.width - 30)
                horizontalAlignment: Text.AlignHCenter
                wrapMode: Text.Wrap
                text: vm.typeName === "register_singl" ? qsTrId("I need more equipment")
                                                                    : qsTrId("Registered general version")
                color: Theme.blue
                font.pixelSize: 14
            }
            MouseArea { anchors.fill: parent; cursorShape: Qt.PointingHandCursor; onClicked: vm.switchPlan() }
        }
    }

    // Earlier accounts and completed addresses, laid over the form under the account field.
    Rectangle {
        id: suggestionList
        objectName: "suggestionList"
        visible: vm.showHistory && vm.suggestions.length > 0
        x: form.x + (form.width - width) / 2
        y: form.y + accountField.y + accountField.height + 2
        z: 10
        width: 270
        height: Math.min(list.contentHeight, 100)
        radius: 5
        color: Qt.rgba(0, 0, 0, 0.6)
        ListView {
            id: list
            anchors.fill: parent
            clip: true
            boundsBehavior: Flickable.StopAtBounds
            model: vm.suggestions
            delegate: Item {
                id: line
                required property string modelData
                required property int index
                objectName: "suggestion_" + index
                width: 270
                height: 28
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    x: 8
                    width: parent.width - 16
                    elide: Text.ElideRight
                    text: line.modelData
                    color: "white"
                    font.pixelSize: Theme.fontSize
                }
                Rectangle {
                    visible: line.index < list.count - 1
                    anchors.bottom: parent.bottom
                    width: parent.width
                    height: 1
                    color: Qt.rgba(1, 1, 1, 0.3)
                }
                MouseArea { anchors.fill: parent; onClicked: vm.pickSuggestion(line.modelData) }
            }
        }
    }
}
