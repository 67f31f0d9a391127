import QtQuick
import QtTest
import Lumora.Base
import Lumora.Shell

Item {
    width: 400
    height: 660

    MainContent { id: content }

    TestCase {
        id: navigation
        name: "Navigation"
        when: windowShown
        readonly property Router router: AppStateManager.router
        // A slide takes a third of a second; a bound for one that never ends, however slowly
        // this machine draws it.
        readonly property int slideBound: 20000
        // The router's offset at each change, with the depth then: what a slide went through,
        // whatever the number of frames this machine managed to draw of it.
        property var seen: []

        Connections {
            target: AppStateManager.router
            function onOffsetXChanged() {
                var router = AppStateManager.router
                navigation.seen.push({ x: router.offsetX, depth: router.depth })
            }
        }

        function sawDuringSlide(accept) {
            return seen.some(accept)
        }

        function init() {
            router.setBackVeto(null)
            router.goBackToRoot()
            tryCompare(router, "depth", 0, slideBound)
            seen = []
        }

        function item(name) {
            return findChild(content, name)
        }

        function test_push_slides_in_and_back_slides_out() {
            verify(!item("titleBar").visible, "no back control over the root page")
            router.push("settings")
            compare(router.depth, 1)
            compare(router.offsetX, 400)
            tryCompare(router, "offsetX", 0, slideBound)
            verify(item("page_settings") !== null)
            verify(item("titleBar").visible)
            compare(item("backTitle").text, "Settings")
            seen = []
            mouseClick(item("backControl"))
            tryCompare(router, "depth", 0, slideBound)
            verify(sawDuringSlide(function(at) { return at.depth === 1 && at.x > 0 }),
                   "the page stays on the stack while it slides out")
            compare(router.offsetX, 0)
            verify(!item("titleBar").visible)
        }

        function test_menu_comes_from_the_left() {
            router.push("menu")
            compare(router.offsetX, -400)
            tryCompare(router, "offsetX", 0, slideBound)
            seen = []
            router.goBack()
            tryCompare(router, "depth", 0, slideBound)
            verify(sawDuringSlide(function(at) { return at.depth === 1 && at.x < 0 }), "it slides out to the left")
        }

        function test_a_page_that_refuses_stays() {
            router.push("feedback")
            tryCompare(router, "offsetX", 0, slideBound)
            var asked = 0
            router.setBackVeto(function() { asked += 1; return false })
            mouseClick(item("backControl"))
            wait(500)
            compare(asked, 1)
            compare(router.depth, 1)
            compare(router.offsetX, 0)
            // Pushing restores the default, which lets the next back through.
            router.push("tools")
            tryCompare(router, "offsetX", 0, slideBound)
            router.goBack()
            tryCompare(router, "depth", 1, slideBound)
            compare(asked, 1)
        }

        function test_a_push_during_the_slide_out_keeps_the_new_page() {
            router.push("settings")
            tryCompare(router, "offsetX", 0, slideBound)
            seen = []
            router.goBack()
            // Under way: the settings page has begun to slide out and is still on the stack.
            tryVerify(function() { return sawDuringSlide(function(at) { return at.depth === 1 && at.x > 0 }) },
                      slideBound)
            router.push("about")
            // Two ends to wait for, in no set order: the page that was leaving goes, and the new
            // page's slide is over. The slide runs on the window's animation clock, which
            // follows the frames drawn, not the wall clock, so either can come first.
            tryCompare(router, "depth", 1, slideBound)
            tryCompare(router, "offsetX", 0, slideBound)
            compare(router.topName, "about")
            verify(item("aboutView") !== null)
            // Whichever came last, the other end did not move the page that stays.
            compare(router.depth, 1)
            compare(router.offsetX, 0)
            compare(item("page_about").x, 0)
        }

        function test_only_the_top_page_moves() {
            router.push("settings")
            tryCompare(router, "offsetX", 0, slideBound)
            router.push("advanced")
            // The new page is made at the push, at the start of its slide: no frame has to be drawn
            // for the check.
            compare(item("page_settings").x, 0)
            verify(item("page_advanced").x > 0)
            tryCompare(item("page_advanced"), "x", 0, slideBound)
        }

        function test_a_node_page_is_titled_with_its_location() {
            router.pushNode("jp", "Japan")
            tryCompare(router, "offsetX", 0, slideBound)
            compare(item("backTitle").text, "Japan")
            router.pushNode("jp", "Nippon")
            tryCompare(router, "offsetX", 0, slideBound)
            compare(router.depth, 2, "same country, another title: another page")
        }
    }
}
