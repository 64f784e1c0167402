<!--
// See KB article about changing this dynamic HTML

// Collapsible outline for the table of contents. A list ("UL", "OL" or "TABLE") that carries
// "dynamicoutline" makes the list items below it fold: a click on an item (or Enter or Space on
// its heading) shows or hides the lists the item holds. "initcollapsed" on a list hides its
// nested lists when the page opens; "nodynamicoutline" turns folding off below a list.
// The script uses the standard DOM only and does nothing in browsers that lack it.

var mac = -1;		// position of "Macintosh" in the browser's version text (above 0 on a Mac)
var ie4 = false;	// Internet Explorer 4 or later
var TRok = false;	// the walk of getControlTag passed a picture, font, link or table cell

if (typeof navigator != "undefined" && navigator && typeof navigator.userAgent == "string") {
	mac = navigator.userAgent.indexOf("Macintosh");
	if (navigator.userAgent.indexOf("MSIE") >= 0)
		ie4 = parseInt(navigator.userAgent.substring(navigator.userAgent.indexOf("MSIE") + 5), 10) >= 4;
}

// The list item that holds src (src itself included), or the table row when the walk passed a
// picture, font, link or table cell on its way; null when the walk meets another row or reaches
// the HTML element.
function getControlTag(src)
{
	TRok = false;
	while (src && src.nodeType == 1) {
		var tag = String(src.nodeName).toUpperCase();
		if (tag == "HTML")
			return null;
		if (tag == "IMG" || tag == "FONT" || tag == "A" || tag == "TD")
			TRok = true;
		if (tag == "LI")
			return src;
		if (tag == "TR")
			return TRok ? src : null;
		src = src.parentNode;
	}
	return null;
}

// Whether src lies in an outline that folds: the nearest enclosing list that says so decides;
// a bordered table, or reaching the body, says no.
function dynOutlineEnabled(src)
{
	while (src && src.nodeType == 1) {
		var tag = String(src.nodeName).toUpperCase();
		if (tag == "BODY" || tag == "HTML")
			return false;
		if (tag == "TABLE" && src.getAttribute("border") != null && src.getAttribute("border") != "0")
			return false;
		if (tag == "UL" || tag == "OL" || tag == "TABLE") {
			if (src.getAttribute("nodynamicoutline") != null)
				return false;
			if (src.getAttribute("dynamicoutline") != null)
				return true;
			// Old Macintosh browsers may not report unknown attributes: look for the words in the
			// list's own start tag instead.
			if (mac > 0 && ie4 && typeof src.outerHTML == "string") {
				var start = src.outerHTML.substring(0, src.outerHTML.indexOf(">") + 1);
				if (start.indexOf("nodynamicoutline") >= 0)
					return false;
				if (start.indexOf("dynamicoutline") >= 0)
					return true;
			}
		}
		src = src.parentNode;
	}
	return false;
}

// Whether src, or a list that encloses it, asks for the outline to open collapsed.
function initCollapse(src)
{
	while (src && src.nodeType == 1) {
		var tag = String(src.nodeName).toUpperCase();
		if (tag == "BODY" || tag == "HTML")
			return false;
		if (tag == "TABLE" && src.getAttribute("border") != null && src.getAttribute("border") != "0")
			return false;
		if ((tag == "UL" || tag == "OL" || tag == "TABLE") && src.getAttribute("initcollapsed") != null)
			return true;
		src = src.parentNode;
	}
	return false;
}

// Whether src belongs to the item dest (comments always do).
function containedIn(src, dest)
{
	if (!src)
		return false;
	if (src.nodeType == 8 || src.nodeName == "!")
		return true;
	return getControlTag(src) == dest;
}

// Hides the nested lists of every collapsed outline and makes each heading that folds
// reachable from the keyboard. Runs once, when the document has been parsed.
function initOutline()
{
	if (typeof document == "undefined" || !document.getElementsByTagName || !document.body)
		return;
	if (!document.addEventListener && !ie4)
		return;
	if (document.readyState == "loading")
		return;
	if (!document.addEventListener && document.readyState && document.readyState != "complete")
		return;
	if (document.body.getAttribute("data-dynoutline") != null)
		return;
	document.body.setAttribute("data-dynoutline", "ready");

	var tags = new Array("UL", "OL", "TABLE");
	for (var t = 0; t < tags.length; t++) {
		var lists = document.getElementsByTagName(tags[t]);
		for (var i = 0; i < lists.length; i++) {
			if (dynOutlineEnabled(lists[i].parentNode) && initCollapse(lists[i]))
				lists[i].style.display = "none";
		}
	}

	var items = document.getElementsByTagName("LI");
	for (var n = 0; n < items.length; n++) {
		var item = items[n];
		if (!dynOutlineEnabled(item))
			continue;
		var folded = null;
		var heading = null;
		var inner = item.getElementsByTagName("*");
		for (var k = 0; k < inner.length && containedIn(inner[k], item); k++) {
			var tag = String(inner[k].nodeName).toUpperCase();
			if (tag == "UL" || tag == "OL" || tag == "TABLE") {
				if (!folded)
					folded = inner[k];
			} else if (!folded && !heading && inner[k].nodeType == 1 && inner[k].parentNode == item) {
				heading = inner[k];
			}
		}
		if (!folded)
			continue;
		if (!heading)
			heading = item;
		heading.tabIndex = 0;
		heading.setAttribute("role", "button");
		heading.setAttribute("aria-expanded", folded.style.display == "none" ? "false" : "true");
		if (document.addEventListener)
			heading.style.cursor = "pointer";
	}
}

// The click handler of the body, and the key handler of the document: shows or hides the
// lists that the clicked item holds directly. A click on a link inside an item that holds no
// list changes nothing, so the link is followed.
function dynOutline(evt)
{
	if (!evt && typeof window != "undefined")
		evt = window.event;
	if (!evt || typeof document == "undefined" || !document.getElementsByTagName)
		return;
	if (!document.addEventListener && !ie4)
		return;
	var src = evt.target ? evt.target : evt.srcElement;
	if (src && src.nodeType == 3)
		src = src.parentNode;
	if (!src || src.nodeType != 1)
		return;

	if (evt.type == "keydown") {
		if (src.getAttribute("aria-expanded") == null || evt.altKey || evt.ctrlKey || evt.metaKey)
			return;
		if (!(evt.key == "Enter" || evt.key == " " || evt.key == "Spacebar" ||
			evt.keyCode == 13 || evt.keyCode == 32))
			return;
		if (evt.preventDefault)
			evt.preventDefault();
		else
			evt.returnValue = false;
		if (evt.repeat)
			return;
	} else if (evt.type && evt.type != "click") {
		return;
	}

	var control = getControlTag(src);
	if (!control || !dynOutlineEnabled(control))
		return;

	var shown = null;
	var inner = control.getElementsByTagName("*");
	for (var i = 0; i < inner.length && containedIn(inner[i], control); i++) {
		var tag = String(inner[i].nodeName).toUpperCase();
		if (tag == "UL" || tag == "OL" || tag == "TABLE") {
			inner[i].style.display = inner[i].style.display == "none" ? "" : "none";
			if (shown == null)
				shown = inner[i].style.display != "none";
		}
	}
	if (shown == null)
		return;

	var heading = control.getAttribute("aria-expanded") != null ? control : null;
	for (var c = control.firstChild; c && !heading; c = c.nextSibling) {
		if (c.nodeType == 1 && c.getAttribute("aria-expanded") != null)
			heading = c;
	}
	if (heading)
		heading.setAttribute("aria-expanded", shown ? "true" : "false");
}

// The page's own script element that calls initOutline runs in old browsers only; here the
// script arranges for it to run once the document has been parsed.
if (typeof document != "undefined" && document.addEventListener) {
	if (document.readyState == "interactive" || document.readyState == "complete")
		initOutline();
	else
		document.addEventListener("DOMContentLoaded", initOutline, false);
	if (typeof window != "undefined" && window.addEventListener)
		window.addEventListener("load", initOutline, false);
	document.addEventListener("keydown", dynOutline, false);
} else if (typeof document != "undefined" && document.attachEvent) {
	document.attachEvent("onkeydown", dynOutline);
}
//-->
