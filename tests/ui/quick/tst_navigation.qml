import QtQuick
import QtTest
import Lumora.Base
import Lumora.Shell

Item {
    width: 400
    height: 660

    MainContent { id: content }

    TestCase {
        name: "Navigation"
        when: windowShown
        readonly property Router router: AppStateManager.router

        function init() {
            router.setBackVeto(null)
            router.goBackToRoot()
            tryCompare(router, "depth", 0, 2000)
        }

        function item(name) {
            return findChild(content, name)
        }

        function test_push_slides_in_and_back_slides_out() {
            verify(!item("titleBar").visible, "no back control over the root page")
            router.push("settings")
            compare(router.depth, 1)
            compare(router.offsetX, 400)
            tryCompare(router, "offsetX", 0, 1000)
            verify(item("page_settings") !== null)
            verify(item("titleBar").visible)
            compare(item("backTitle").text, "Settings")
            mouseClick(item("backControl"))
            wait(150)
            compare(router.depth, 1, "the page stays on the stack while it slides out")
            verify(router.offsetX > 0)
            tryCompare(router, "depth", 0, 1000)
            compare(router.offsetX, 0)
            verify(!item("titleBar").visible)
        }

        function test_menu_comes_from_the_left() {
            router.push("menu")
            compare(router.offsetX, -400)
            tryCompare(router, "offsetX", 0, 1000)
            router.goBack()
            wait(150)
            verify(router.offsetX < 0)
        }

        function test_a_page_that_refuses_stays() {
            router.push("feedback")
            tryCompare(router, "offsetX", 0, 1000)
            var asked = 0
            router.setBackVeto(function() { asked += 1; return false })
            mouseClick(item("backControl"))
            wait(500)
            compare(asked, 1)
            compare(router.depth, 1)
            compare(router.offsetX, 0)
            // Pushing restores the default, which lets the next back through.
            router.push("tools")
            tryCompare(router, "offsetX", 0, 1000)
            router.goBack()
            tryCompare(router, "depth", 1, 1000)
            compare(asked, 1)
        }

        function test_a_push_during_the_slide_out_keeps_the_new_page() {
            router.push("settings")
            tryCompare(router, "offsetX", 0, 1000)
            router.goBack()
            wait(100)
            router.push("about")
            wait(700)
            compare(router.depth, 1)
            compare(router.topName, "about")
            verify(item("aboutView") !== null)
            compare(router.offsetX, 0)
        }

        function test_only_the_top_page_moves() {
            router.push("settings")
            tryCompare(router, "offsetX", 0, 1000)
            router.push("advanced")
            wait(100)
            compare(item("page_settings").x, 0)
            verify(item("page_advanced").x > 0)
            tryCompare(item("page_advanced"), "x", 0, 1000)
        }

        function test_a_node_page_is_titled_with_its_location() {
            router.pushNode("jp", "Japan")
            tryCompare(router, "offsetX", 0, 1000)
            compare(item("backTitle").text, "Japan")
            router.pushNode("jp", "Nippon")
            tryCompare(router, "offsetX", 0, 1000)
            compare(router.depth, 2, "same country, another title: another page")
        }
    }
}
