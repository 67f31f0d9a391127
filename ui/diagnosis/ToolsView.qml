import QtQuick
import Lumora.Base
import Lumora.Controls
import Lumora.Home

// The tools page: the Telegram proxy set-up and the way to the network diagnosis.
Rectangle {
    id: page
    objectName: "toolsView"
    width: Theme.pageWidth
    height: Theme.pageHeight
    color: Theme.background

    Column {
        anchors.fill: parent
        spacing: 1  // a hairline of the background between the rows

        PageBand {}

        MenuItemView {
            objectName: "telegramProxyRow"
            name: "Set up Telegram proxy"
            onCallback: HomeScreen.openTelegramProxy()
        }
        MenuItemView {
            objectName: "diagnosisRow"
            name: "Network Diagnosis"
            route: "diagnsis"
        }
    }
}
