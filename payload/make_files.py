#!/usr/bin/env python3
"""Writes payload/files/: the licence, templates and clip library that setup installs.

The generated files are committed; run this only to change their contents, then
commit the result. It also checks manifest.txt against the list below.
Standard library only, so the output is the same on every machine.
"""
import math
import os
import re
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "files")

# ---------------------------------------------------------------- licence

LICENSE = """Quorvale Word Processor 4.4.5.5
Licence agreement

Copyright \u00a9 2004-2025 Quorvale Software. All rights reserved.

Please read this agreement before you install or use Quorvale Word Processor (the "Program"). By installing, copying or using the Program you accept these terms. If you do not, cancel the installation now.

1. Use. You may install and use the Program free of charge on any number of computers, at home or at work, and you may run it from a removable drive as a portable copy.

2. Copies. You may give unchanged copies of the setup program to others, as long as you charge nothing for them beyond the cost of the medium and this agreement goes with every copy.

3. Templates and clips. The document templates and the texts and images of the clip library that come with the Program may be used, changed and put into your own documents without restriction.

4. What you may not do. You may not sell or rent out the Program, nor remove or alter its copyright notices. You may not take the Program apart to recreate its source code, except where the law allows it in spite of this term.

5. Your documents. The documents you write with the Program are yours. The Program does not send them, or anything else about you, to anyone.

6. No warranty. The Program comes as it is, without any promise that it suits a particular purpose or is free of errors. You use it at your own risk.

7. Liability. Quorvale Software is not liable for lost data, lost profits or any other damage that comes from using the Program or being unable to use it.

8. End of the licence. This licence ends by itself if you break one of its terms. You must then delete every copy of the Program you have.

Thank you for choosing Quorvale Word Processor.
"""

# ---------------------------------------------------------------- RTF helpers

CRLF = "\r\n"


def esc(text):
    """Plain text to RTF: escapes backslash and braces, tabs and non-ASCII."""
    out = []
    for ch in text:
        c = ord(ch)
        if ch in "\\{}":
            out.append("\\" + ch)
        elif ch == "\t":
            out.append("\\tab ")
        elif c < 128:
            out.append(ch)
        else:
            try:
                out.append("\\'%02x" % ch.encode("cp1252")[0])
            except UnicodeEncodeError:
                out.append("\\u%d?" % (c if c < 32768 else c - 65536))
    return "".join(out)


FONTS = {
    "times": ("froman", "Times New Roman"),
    "arial": ("fswiss", "Arial"),
    "georgia": ("froman", "Georgia"),
    "verdana": ("fswiss", "Verdana"),
    "courier": ("fmodern", "Courier New"),
    "symbol": ("ftech", "Symbol"),
    "script": ("fscript", "Segoe Script"),
    "tahoma": ("fswiss", "Tahoma"),
}


def doc(body, fonts=("times", "arial"), colors=(), head="", info=None):
    """A whole RTF document; fonts are numbered \\f0.. in the order given."""
    ft = "".join("{\\f%d\\%s\\fcharset%d %s;}" % (i, FONTS[f][0], 2 if f == "symbol" else 0, FONTS[f][1])
                 for i, f in enumerate(fonts))
    ct = "{\\colortbl ;" + "".join("\\red%d\\green%d\\blue%d;" % c for c in colors) + "}"
    parts = ["{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl" + ft + "}", ct]
    if info:
        parts.append("{\\info" + "".join("{\\%s %s}" % (k, esc(v)) for k, v in info) + "}")
    if head:
        parts.append(head)
    parts.append("\\viewkind4\\uc1")
    parts.append(body + "}")
    return CRLF.join(parts) + CRLF


def par(text, fmt="", runfmt=""):
    """One paragraph; text is already RTF (use esc() for plain text)."""
    lead = "\\pard" + fmt
    if runfmt:
        return lead + " {" + runfmt + " " + text + "}\\par" + CRLF
    return lead + " " + text + "\\par" + CRLF


def field(instr, result):
    return "{\\field{\\*\\fldinst {%s}}{\\fldrslt {%s}}}" % (instr, esc(result))


BORDER = "\\brdrs\\brdrw10"


def cell_def(right, borders="tlbr", shade=None, extra=""):
    s = "".join("\\clbrdr%s%s" % (b, BORDER) for b in borders)
    if shade is not None:
        s += "\\clcbpat%d" % shade
    return s + extra + "\\cellx%d" % right


def row(cells, widths, borders="tlbr", shades=None, text_fmt="", height=0, header=False, extras=None, para_fmt=""):
    """A table row: cells are RTF texts, widths in twips."""
    s = "\\trowd\\trgaph108\\trleft-108"
    if header:
        s += "\\trhdr"
    if height:
        s += "\\trrh%d" % height
    right = -108
    for i, w in enumerate(widths):
        right += w
        s += cell_def(right, borders, None if shades is None else shades[i], "" if extras is None else extras[i])
    s += CRLF + "\\pard\\intbl" + para_fmt + " "
    for text in cells:
        s += ("{" + text_fmt + " " + text + "}" if text_fmt else text) + "\\cell "
    return s + "\\row" + CRLF


def rtf_bytes(text):
    return text.encode("ascii")


# ---------------------------------------------------------------- templates

LOREM_LETTER = [
    "Thank you for your letter of [date]. I am writing to [state the purpose of your letter in one or two sentences].",
    "[Give the details here: what has happened so far, what you would like the reader to do, and by when. "
    "Keep each paragraph to one idea so that the letter is easy to follow.]",
    "If you have any questions, please do not hesitate to contact me at the telephone number or e-mail address above. "
    "I look forward to hearing from you.",
]

DATE_FIELD = field("DATE \\\\@ \"MMMM d, yyyy\"", "May 13, 2025")


def letter1():
    b = ""
    b += par(esc("[Your Name]"), "\\sa0", "\\f1\\fs28\\b")
    for line in ("[Street Address]", "[City, State ZIP Code]", "[Phone] | [E-mail]"):
        b += par(esc(line), "\\sa0", "\\f1\\fs20")
    b += par("", "\\sa0")
    b += par(DATE_FIELD, "\\sa240", "\\f1\\fs22")
    for line in ("[Recipient Name]", "[Title]", "[Company Name]", "[Street Address]", "[City, State ZIP Code]"):
        b += par(esc(line), "\\sa0", "\\f1\\fs22")
    b += par("", "\\sa0")
    b += par(esc("Dear [Recipient Name],"), "\\sa240", "\\f1\\fs22")
    for p in LOREM_LETTER:
        b += par(esc(p), "\\sa240\\sl276\\slmult1", "\\f1\\fs22")
    b += par(esc("Sincerely,"), "\\sa720", "\\f1\\fs22")
    b += par(esc("[Your Name]"), "\\sa0", "\\f1\\fs22")
    return doc(b, ("times", "arial"), info=[("title", "Letter")])


def letter2():
    colors = [(31, 73, 125), (128, 128, 128)]
    b = ""
    b += par(esc("[YOUR NAME]"), "\\qr\\sa0", "\\f1\\fs40\\b\\cf1\\expndtw20")
    b += par(esc("[Street Address] \u2022 [City, ZIP Code] \u2022 [Phone] \u2022 [E-mail]"),
             "\\qr\\sa360\\brdrb\\brdrs\\brdrw15\\brsp40\\brdrcf1", "\\f1\\fs18\\cf2")
    b += par(DATE_FIELD, "\\sa360", "\\f1\\fs21")
    for line in ("[Recipient Name]", "[Company Name]", "[Street Address]", "[City, ZIP Code]"):
        b += par(esc(line), "\\sa0", "\\f1\\fs21")
    b += par("", "\\sa0")
    b += par(esc("Dear [Recipient Name]:"), "\\sa200", "\\f1\\fs21")
    body = [
        "To get started right away, just select any placeholder text (such as this) and start typing to replace it with your own.",
        "Want to change the colour of the heading? Select your name at the top of the page and choose a new colour "
        "from the Format menu. The rule under your address picks up the same colour when you change it there as well.",
        "[Add a closing paragraph: thank the reader and say what happens next.]",
    ]
    for p in body:
        b += par(esc(p), "\\sa200\\sl288\\slmult1", "\\f1\\fs21")
    b += par(esc("Warm regards,"), "\\sa600", "\\f1\\fs21")
    b += par(esc("[Your Name]"), "\\sa0", "\\f1\\fs21\\b\\cf1")
    return doc(b, ("georgia", "verdana"), colors, info=[("title", "Letter")])


def letter3():
    colors = [(102, 51, 0)]
    b = ""
    b += par(field("DATE \\\\@ \"d MMMM yyyy\"", "13 May 2025"), "\\qr\\sa480", "\\f0\\fs24\\i")
    b += par(esc("Dear [Name],"), "\\sa240", "\\f0\\fs26\\cf1")
    body = [
        "It was so lovely to hear from you! [Write about the news in their last letter, and what you thought of it.]",
        "Here everything is much the same as ever. [Tell them what you have been doing: the garden, the family, "
        "the trip you have been planning for months, the book you could not put down.]",
        "[Ask about the things they mentioned, and let them know when you might see each other again.]",
        "Do write again soon, and give my love to everyone.",
    ]
    for p in body:
        b += par(esc(p), "\\fi567\\sa200\\sl360\\slmult1", "\\f0\\fs24")
    b += par(esc("With love,"), "\\li4536\\sb240\\sa120", "\\f0\\fs24\\i")
    b += par(esc("[Your Name]"), "\\li4536", "\\f0\\fs26\\cf1")
    b += par(esc("P.S. [Add anything you forgot to say above.]"), "\\sb480", "\\f0\\fs22\\i")
    return doc(b, ("georgia",), colors, info=[("title", "Personal letter")])


def letter4():
    colors = [(0, 0, 0), (96, 96, 96)]
    b = ""
    b += par(esc("[COMPANY NAME]"), "\\qc\\sa0", "\\f1\\fs36\\b\\expndtw40")
    b += par(esc("[Street Address], [City] [ZIP Code] \u2014 Tel. [Phone] \u2014 Fax [Fax] \u2014 [Web site]"),
             "\\qc\\sa480\\brdrb\\brdrdb\\brdrw10\\brsp60", "\\f1\\fs16\\cf2")
    b += par(esc("Our reference: [Reference]\tYour reference: [Reference]"), "\\tx5103\\sa0", "\\f0\\fs20\\cf2")
    b += par(esc("Date: ") + DATE_FIELD, "\\sa360", "\\f0\\fs20\\cf2")
    for line in ("[Recipient Name]", "[Title]", "[Company Name]", "[Street Address]", "[City, ZIP Code]"):
        b += par(esc(line), "\\sa0", "\\f0\\fs22")
    b += par("", "\\sa0")
    b += par(esc("Re: [Subject of the letter]"), "\\sa240", "\\f0\\fs22\\b")
    b += par(esc("Dear Sir or Madam,"), "\\sa200", "\\f0\\fs22")
    body = [
        "With reference to [the order, the meeting or the telephone call of date], we are pleased to [confirm, enclose, inform you that ...].",
        "[Set out the facts, figures and conditions. If the letter covers several points, number them:]",
    ]
    for p in body:
        b += par(esc(p), "\\qj\\sa200", "\\f0\\fs22")
    for i, p in enumerate(("[First point]", "[Second point]", "[Third point]"), 1):
        b += par(esc("%d.\t%s" % (i, p)), "\\fi-360\\li720\\tx720\\sa60", "\\f0\\fs22")
    b += par(esc("We trust that this meets with your approval and look forward to your reply."), "\\qj\\sb140\\sa200", "\\f0\\fs22")
    b += par(esc("Yours faithfully,"), "\\sa720", "\\f0\\fs22")
    b += par(esc("[Name]"), "\\sa0", "\\f0\\fs22")
    b += par(esc("[Position]"), "\\sa360", "\\f0\\fs22")
    b += par(esc("Enclosures: [number]"), "\\sa0", "\\f0\\fs18\\cf2")
    b += par(esc("cc: [Name]"), "\\sa0", "\\f0\\fs18\\cf2")
    return doc(b, ("times", "arial"), colors, info=[("title", "Business letter")])


MEMO_BODY = [
    "[Start with the most important point: what has been decided, what is needed, or what the reader must do.]",
    "[Add background in a second paragraph only if the reader needs it. A memo is best kept to one page; "
    "attach longer material instead of including it here.]",
    "[Close with the next step, the deadline and whom to ask.]",
]


def memo_head_lines(labels, fmt_label, fmt_text, tab):
    s = ""
    for label, value in labels:
        s += par("{%s %s}\\tab {%s %s}" % (fmt_label, esc(label), fmt_text, esc(value)), "\\tx%d\\sa120" % tab)
    return s


def memo1():
    b = par(esc("Memorandum"), "\\sa480", "\\f1\\fs56\\b")
    b += memo_head_lines([("To:", "[Names]"), ("From:", "[Your Name]"), ("CC:", "[Names]"),
                          ("Date:", "[Date]"), ("Re:", "[Subject]")], "\\f1\\fs20\\b\\caps", "\\f0\\fs22", 1418)
    b += par("", "\\sa240\\brdrb\\brdrs\\brdrw30\\brsp20")
    for p in MEMO_BODY:
        b += par(esc(p), "\\sa200", "\\f0\\fs22")
    return doc(b, ("times", "arial"), info=[("title", "Memo")])


def memo2():
    colors = [(255, 255, 255), (54, 95, 145), (220, 230, 241)]
    b = row(["{\\f1\\fs40\\b\\cf1 " + esc("MEMO") + "}"], [9360], borders="", shades=[2])
    b += "\\pard\\sa120\\par" + CRLF
    for label, value in (("TO", "[Recipient names]"), ("FROM", "[Your name]"), ("DATE", "[Date]"), ("SUBJECT", "[Subject]")):
        b += row(["{\\f1\\fs18\\b\\cf2 " + esc(label) + "}", "{\\f0\\fs22 " + esc(value) + "}"], [1800, 7560],
                 borders="b", shades=[3, None])
    b += "\\pard\\sa240\\par" + CRLF
    for p in MEMO_BODY:
        b += par(esc(p), "\\sa200\\sl276\\slmult1", "\\f0\\fs22")
    return doc(b, ("georgia", "tahoma"), colors, info=[("title", "Memo")])


def memo3():
    colors = [(128, 0, 0), (89, 89, 89)]
    b = par(esc("Interoffice Memorandum"), "\\qc\\sa120", "\\f1\\fs36\\b\\cf1")
    b += par(esc("[Company Name] \u2014 Internal use only"), "\\qc\\sa360\\brdrb\\brdrs\\brdrw10\\brsp40\\brdrcf1",
             "\\f1\\fs18\\i\\cf2")
    b += par("{\\f1\\fs20\\b " + esc("To:") + "}\\tab {\\f0\\fs22 " + esc("[Names]") + "}\\tab {\\f1\\fs20\\b " +
             esc("Date:") + "}\\tab {\\f0\\fs22 " + esc("[Date]") + "}", "\\tx1134\\tx5103\\tx6237\\sa120")
    b += par("{\\f1\\fs20\\b " + esc("From:") + "}\\tab {\\f0\\fs22 " + esc("[Name]") + "}\\tab {\\f1\\fs20\\b " +
             esc("Ext.:") + "}\\tab {\\f0\\fs22 " + esc("[Phone]") + "}", "\\tx1134\\tx5103\\tx6237\\sa120")
    b += par("{\\f1\\fs20\\b " + esc("Subject:") + "}\\tab {\\f0\\fs22\\b " + esc("[Subject]") + "}",
             "\\tx1134\\sa360\\brdrb\\brdrs\\brdrw10\\brsp40")
    for p in MEMO_BODY:
        b += par(esc(p), "\\qj\\sa200", "\\f0\\fs22")
    b += par(esc("[Initials]"), "\\sb360", "\\f1\\fs18\\cf2")
    return doc(b, ("times", "arial"), colors, info=[("title", "Interoffice memo")])


def bullet_par(text, fmt="\\f0\\fs22"):
    return ("{\\pntext\\f2\\'b7\\tab}\\pard{\\*\\pn\\pnlvlblt\\pnf2\\pnindent360{\\pntxtb\\'b7}}"
            "\\fi-360\\li720\\sa80 {" + fmt + " " + esc(text) + "}\\par" + CRLF)


def memo4():
    colors = [(0, 112, 60)]
    b = par(esc("MEETING MEMO"), "\\sa60", "\\f1\\fs44\\b\\cf1")
    b += par(esc("[Project or team name]"), "\\sa360", "\\f1\\fs24\\i")
    b += memo_head_lines([("Date:", "[Date]"), ("Attendees:", "[Names]"), ("Absent:", "[Names]"),
                          ("Minutes by:", "[Name]")], "\\f1\\fs20\\b", "\\f0\\fs22", 1701)
    b += par(esc("Decisions"), "\\sb240\\sa120", "\\f1\\fs26\\b\\cf1")
    for t in ("[Decision one]", "[Decision two]", "[Decision three]"):
        b += bullet_par(t)
    b += par(esc("Action items"), "\\sb240\\sa120", "\\f1\\fs26\\b\\cf1")
    for t in ("[Task] \u2014 [Owner] \u2014 due [date]", "[Task] \u2014 [Owner] \u2014 due [date]",
              "[Task] \u2014 [Owner] \u2014 due [date]"):
        b += bullet_par(t)
    b += par(esc("Next meeting"), "\\sb240\\sa120", "\\f1\\fs26\\b\\cf1")
    b += par(esc("[Date, time and place of the next meeting.]"), "\\sa120", "\\f0\\fs22")
    return doc(b, ("times", "arial", "symbol"), colors, info=[("title", "Meeting memo")])


def note():
    colors = [(255, 242, 204), (127, 96, 0)]
    b = par(esc("Note"), "\\sa120", "\\f0\\fs36\\b\\cf2")
    b += par(field("DATE \\\\@ \"dddd, MMMM d, yyyy\"", "Tuesday, May 13, 2025"), "\\sa240", "\\f0\\fs20\\i\\cf2")
    b += par(esc("[Type your note here. Notes are short: a reminder, an idea, a list to take to the shop.]"),
             "\\sa200\\cbpat1\\box\\brdrs\\brdrw10\\brdrcf2\\brsp100", "\\f0\\fs24")
    b += par(esc("[Another thought.]"), "\\sa200", "\\f0\\fs24")
    return doc(b, ("verdana",), colors, info=[("title", "Note")])


STORY_TEXT = [
    "The lighthouse had been dark for eleven years when Mara climbed the hill to it for the first time. "
    "The path was overgrown with gorse, and the wind off the sea pushed at her back as if it wanted her to hurry.",
    "She carried the key in her coat pocket, a heavy iron thing with a paper label tied to its bow. "
    "Her grandfather's handwriting on the label had faded to the colour of weak tea: Tower, it said, and nothing else.",
    "At the top of the hill she stopped to catch her breath and looked back. The village lay folded into the bay below, "
    "its roofs wet and shining, smoke from a dozen chimneys leaning the same way. From up here it looked like a place "
    "where nothing had ever gone wrong.",
    "The door stuck, then gave. Inside, the air smelled of salt and old paint, and the spiral stair went up into the dark.",
]


def stylesheet(heading_font=1, body_font=0):
    return ("{\\stylesheet{\\s0\\f%d\\fs24 Normal;}"
            "{\\s1\\sb480\\sa240\\keepn\\f%d\\fs36\\b\\sbasedon0\\snext0 heading 1;}"
            "{\\s2\\sb240\\sa120\\keepn\\f%d\\fs28\\b\\i\\sbasedon0\\snext0 heading 2;}"
            "{\\s15\\qc\\f%d\\fs72\\b\\sbasedon0\\snext0 Title;}}") % (body_font, heading_font, heading_font, heading_font)


def book():
    head = stylesheet(0, 0) + CRLF + "\\paperw11906\\paperh16838\\margl1701\\margr1701\\margt1701\\margb1701"
    b = par(esc("[Book Title]"), "\\s15\\qc\\sb3600\\sa240", "\\f0\\fs72\\b")
    b += par(esc("[Subtitle]"), "\\qc\\sa1440", "\\f0\\fs32\\i")
    b += par(esc("[Author Name]"), "\\qc\\sa0", "\\f0\\fs32")
    b += "\\pard\\page" + CRLF
    b += par(esc("Copyright \u00a9 [Year] [Author Name]. All rights reserved."), "\\qc\\sb6000\\sa120", "\\f0\\fs18")
    b += par(esc("[Publisher] \u2022 [City]"), "\\qc\\sa120", "\\f0\\fs18")
    b += "\\pard\\page" + CRLF
    b += par(esc("For [dedication]"), "\\qc\\sb4000", "\\f0\\fs24\\i")
    for n, (title, paras) in enumerate((("The Key", STORY_TEXT), ("[Chapter Title]", None), ("[Chapter Title]", None)), 1):
        b += "\\pard\\page" + CRLF
        b += par(esc("Chapter %d" % n), "\\s1\\qc\\sb1440\\sa120\\keepn", "\\f0\\fs28\\caps\\expndtw60")
        b += par(esc(title), "\\s1\\qc\\sa720\\keepn", "\\f0\\fs40\\b")
        if paras is None:
            paras = ["[Begin your chapter here. Each new chapter starts on a new page; the heading uses the style "
                     "Heading 1 so that it can be collected into a table of contents.]",
                     "[Body text is set with a first-line indent and no space between paragraphs, as in most printed books.]"]
        for i, p in enumerate(paras):
            b += par(esc(p), ("\\qj\\sl360\\slmult1" if i == 0 else "\\qj\\fi425\\sl360\\slmult1"), "\\f0\\fs24")
        b += par(esc("*   *   *"), "\\qc\\sb240\\sa240", "\\f0\\fs24")
        b += par(esc("[Continue the chapter after a scene break.]"), "\\qj\\sl360\\slmult1", "\\f0\\fs24")
    return doc(b, ("georgia",), head=head, info=[("title", "Book"), ("author", "[Author Name]")])


def ebook():
    colors = [(68, 84, 106)]
    head = stylesheet(1, 0) + CRLF + "\\paperw8391\\paperh11906\\margl851\\margr851\\margt1134\\margb1134"
    b = par(esc("[Title]"), "\\s15\\qc\\sb2400\\sa360", "\\f1\\fs60\\b\\cf1")
    b += par(esc("[Author]"), "\\qc\\sa240", "\\f1\\fs28")
    b += par(esc("An e-book made with Quorvale Word Processor"), "\\qc\\sb2400", "\\f0\\fs18\\i")
    b += "\\pard\\page" + CRLF
    b += par(esc("About this template"), "\\s1\\sa240\\keepn", "\\f1\\fs36\\b\\cf1")
    tips = [
        "The page is smaller than a printed book page and the type is larger, so that the text reads well on a "
        "screen or a reading device.",
        "Keep formatting simple: headings, paragraphs, lists and a few pictures convert best.",
        "Use Heading 1 for each chapter title; many readers build their navigation from these headings.",
    ]
    for t in tips:
        b += par(esc(t), "\\sa200\\sl312\\slmult1", "\\f0\\fs26")
    for n in (1, 2):
        b += "\\pard\\page" + CRLF
        b += par(esc("Chapter %d: [Title]" % n), "\\s1\\sa240\\keepn", "\\f1\\fs36\\b\\cf1")
        b += par(esc("[Start typing here.]"), "\\sa200\\sl312\\slmult1", "\\f0\\fs26")
        b += par(esc("[Section heading]"), "\\s2\\sb240\\sa120\\keepn", "\\f1\\fs28\\b\\i")
        b += par(esc("[More text.]"), "\\sa200\\sl312\\slmult1", "\\f0\\fs26")
    return doc(b, ("georgia", "verdana"), colors, head=head, info=[("title", "eBook"), ("author", "[Author]")])


TOC_ENTRIES = [
    (1, "Introduction", 1),
    (1, "Getting Started", 3),
    (2, "Before You Begin", 3),
    (2, "First Steps", 5),
    (1, "Working with Documents", 9),
    (2, "Opening and Saving", 9),
    (2, "Formatting Text", 12),
    (2, "Tables and Pictures", 17),
    (1, "Printing", 23),
    (1, "Index", 27),
]


def toc_rightmost():
    return 9072


def toc1():
    b = par(esc("Table of Contents"), "\\qc\\sa480", "\\f0\\fs36\\b")
    for level, title, page in TOC_ENTRIES:
        b += par(esc("%s\t%d" % (title, page)), "\\li%d\\tqr\\tldot\\tx9072\\sa120" % ((level - 1) * 440),
                 "\\f0\\fs24" + ("\\b" if level == 1 else ""))
    return doc(b, ("times",), info=[("title", "Table of Contents")])


def toc2():
    colors = [(31, 56, 100)]
    b = par(esc("Contents"), "\\sa360\\brdrb\\brdrs\\brdrw20\\brsp40\\brdrcf1", "\\f1\\fs44\\cf1")
    chapter = 0
    section = 0
    for level, title, page in TOC_ENTRIES:
        if level == 1:
            chapter += 1
            section = 0
            b += par(esc("%d\t%s\t%d" % (chapter, title, page)), "\\tx567\\tqr\\tldot\\tx9072\\sb240\\sa60",
                     "\\f1\\fs24\\b\\cf1")
        else:
            section += 1
            b += par(esc("%d.%d\t%s\t%d" % (chapter, section, title, page)),
                     "\\li567\\tx1418\\tqr\\tldot\\tx9072\\sa60", "\\f0\\fs22")
    return doc(b, ("georgia", "arial"), colors, info=[("title", "Contents")])


def toc3():
    b = par(esc("CONTENTS"), "\\qc\\sa600", "\\f0\\fs28\\expndtw100")
    roman = ["I", "II", "III", "IV", "V", "VI"]
    chapter = 0
    for level, title, page in TOC_ENTRIES:
        if level != 1:
            continue
        b += par(esc("%s.\t%s\t%d" % (roman[chapter], title.upper(), page)), "\\tqr\\tx567\\tx851\\tqr\\tlhyph\\tx9072\\sa200",
                 "\\f0\\fs22")
        chapter += 1
    return doc(b, ("times",), info=[("title", "Contents")])


def toc4():
    colors = [(255, 255, 255), (64, 64, 64), (242, 242, 242)]
    widths = [1134, 6804, 1134]
    b = par(esc("Table of Contents"), "\\sa240", "\\f1\\fs40\\b")
    b += row(["{\\b\\cf1 " + esc("No.") + "}", "{\\b\\cf1 " + esc("Chapter") + "}", "{\\b\\cf1 " + esc("Page") + "}"],
             widths, borders="", shades=[2, 2, 2], text_fmt="\\f1\\fs20", header=True)
    chapter = 0
    for level, title, page in TOC_ENTRIES:
        if level != 1:
            continue
        chapter += 1
        b += row([esc(str(chapter)), esc(title), esc(str(page))], widths, borders="b",
                 shades=[3, None, None] if chapter % 2 else [3, 3, 3], text_fmt="\\f0\\fs22")
    return doc(b, ("times", "arial"), colors, info=[("title", "Table of Contents")])


def toc5():
    colors = [(192, 80, 77), (89, 89, 89)]
    b = par(esc("In this document"), "\\sa480", "\\f0\\fs48\\b\\cf1")
    part = 0
    for level, title, page in TOC_ENTRIES:
        if level == 1:
            part += 1
            b += par("{\\f0\\fs18\\b\\cf1 " + esc("PART %d" % part) + "}\\line {\\f0\\fs28\\b " + esc(title) +
                     "}\\tab {\\f0\\fs28\\b\\cf1 " + esc(str(page)) + "}", "\\tqr\\tx9072\\sb360\\sa60")
        else:
            b += par(esc("%s\t%d" % (title, page)), "\\li284\\tqr\\tx9072\\sa40", "\\f0\\fs22\\cf2")
    return doc(b, ("verdana",), colors, info=[("title", "Contents")])


# ---------------------------------------------------------------- clips

CLOSINGS_TXT = {
    "All the best.txt": "All the best,",
    "Best wishes.txt": "Best wishes,",
    "Give kindest regards.txt": "Please give my kindest regards to everyone,",
    "Kindest regards.txt": "Kindest regards,",
    "Looking forward to seeing you.txt": "Looking forward to seeing you,",
    "Lots of love.txt": "Lots of love,",
    "Love & best wishes.txt": "Love & best wishes,",
    "Love to you all.txt": "Love to you all,",
    "See you.txt": "See you,",
    "Take care.txt": "Take care,",
    "Thanks for your time.txt": "Thanks for your time,",
    "Your friend.txt": "Your friend,",
    "Yours affectionately.txt": "Yours affectionately,",
    "Yours ever.txt": "Yours ever,",
}

CLOSINGS_RTF = {
    "Best regards.rtf": ("Best regards,", "\\i"),
    "Cordially.rtf": ("Cordially,", ""),
    "Respectfully yours.rtf": ("Respectfully yours,", ""),
    "Sincerely yours.rtf": ("Sincerely yours,", ""),
    "Sincerely.rtf": ("Sincerely,", ""),
    "Thanks in anticipation.rtf": ("Thanking you in anticipation,", ""),
    "With best wishes.rtf": ("With best wishes,", "\\i"),
    "With kind regards.rtf": ("With kind regards,", ""),
    "With kindest regards.rtf": ("With kindest regards,", "\\i"),
    "Yours faithfully.rtf": ("Yours faithfully,", ""),
    "Yours sincerely.rtf": ("Yours sincerely,", ""),
    "Yours truly.rtf": ("Yours truly,", ""),
}


def closing_rtf(text, fmt):
    b = par(esc(text), "\\sa720", "\\f0\\fs24" + fmt)
    b += par(esc("[Your Name]"), "\\sa0", "\\f0\\fs24")
    return doc(b, ("times",))


def signature1():
    colors = [(89, 89, 89)]
    b = par(esc("Kind regards,"), "\\sa600", "\\f0\\fs22")
    b += par(esc("[Your Name]"), "\\sa0", "\\f0\\fs22\\b")
    b += par(esc("[Job Title]"), "\\sa0", "\\f0\\fs20\\cf1")
    b += par(esc("[Company Name]"), "\\sa0", "\\f0\\fs20\\cf1")
    b += par(esc("Phone: [Phone]  |  E-mail: [E-mail]"), "\\sa0", "\\f0\\fs18\\cf1")
    return doc(b, ("arial",), colors)


def signature2():
    colors = [(31, 73, 125), (127, 127, 127)]
    b = par(esc("With warm regards,"), "\\sa240", "\\f0\\fs22\\i")
    b += par(esc("[Your Name]"), "\\sa60", "\\f2\\fs36\\cf1")
    b += par(esc("[Your Name]"), "\\sb60\\sa0\\brdrt\\brdrs\\brdrw10\\brsp40\\brdrcf2", "\\f1\\fs18\\b\\caps\\cf1")
    b += par(esc("[Job Title], [Company Name]"), "\\sa0", "\\f1\\fs16\\cf2")
    b += par(esc("[Street Address] \u2022 [City] \u2022 [Web site]"), "\\sa0", "\\f1\\fs16\\cf2")
    return doc(b, ("georgia", "tahoma", "script"), colors)


def hf_doc(content, fmt="\\f0\\fs18", pfmt=""):
    return doc(par(content, pfmt, fmt), ("arial",))


HEADERS_FOOTERS = {
    "Author, Page #, Date.rtf": lambda: hf_doc(
        field("AUTHOR", "Author") + "\\tab " + esc("Page ") + field("PAGE", "1") + "\\tab " +
        field("DATE \\\\@ \"M/d/yyyy\"", "5/13/2025"), pfmt="\\tqc\\tx4680\\tqr\\tx9360"),
    "Character count.rtf": lambda: hf_doc(esc("Characters: ") + field("NUMCHARS", "0")),
    "Created by.rtf": lambda: hf_doc(esc("Created by ") + field("AUTHOR", "Author")),
    "Created on.rtf": lambda: hf_doc(esc("Created on ") +
                                     field("CREATEDATE \\\\@ \"dddd, MMMM d, yyyy h:mm am/pm\"",
                                           "Tuesday, May 13, 2025 9:00 AM")),
    "Document file size.rtf": lambda: hf_doc(esc("File size: ") + field("FILESIZE \\\\k", "0") + esc(" KB")),
    "Document filename and path.rtf": lambda: hf_doc(field("FILENAME \\\\p", "Document.rtf")),
    "Document filename.rtf": lambda: hf_doc(field("FILENAME", "Document.rtf")),
    "Full Header.rtf": None,  # table; built below
    "Last printed on.rtf": lambda: hf_doc(esc("Last printed on ") +
                                          field("PRINTDATE \\\\@ \"MMMM d, yyyy h:mm am/pm\"", "May 13, 2025 9:00 AM")),
    "Last saved by.rtf": lambda: hf_doc(esc("Last saved by ") + field("LASTSAVEDBY", "Author")),
    "Last saved on.rtf": lambda: hf_doc(esc("Last saved on ") +
                                        field("SAVEDATE \\\\@ \"MMMM d, yyyy h:mm am/pm\"", "May 13, 2025 9:00 AM")),
    "Page count.rtf": lambda: hf_doc(field("NUMPAGES", "1") + esc(" pages")),
    "Page X (Y).rtf": lambda: hf_doc(esc("Page ") + field("PAGE", "1") + esc(" (") + field("NUMPAGES", "1") + esc(")"),
                                     pfmt="\\qc"),
    "Page X of Y.rtf": lambda: hf_doc(esc("Page ") + field("PAGE", "1") + esc(" of ") + field("NUMPAGES", "1"),
                                      pfmt="\\qr"),
    "Page X.rtf": lambda: hf_doc(esc("Page ") + field("PAGE", "1"), pfmt="\\qc"),
    "Word count.rtf": lambda: hf_doc(esc("Words: ") + field("NUMWORDS", "0")),
}


def full_header():
    colors = [(89, 89, 89)]
    widths = [3120, 3120, 3120]
    b = row(["{\\b " + field("TITLE", "[Document title]") + "}", field("AUTHOR", "Author"),
             esc("Page ") + field("PAGE", "1") + esc(" of ") + field("NUMPAGES", "1")],
            widths, borders="b", text_fmt="\\f0\\fs18\\cf1")
    b += row([field("FILENAME", "Document.rtf"), esc("Saved ") + field("SAVEDATE \\\\@ \"M/d/yyyy\"", "5/13/2025"),
              esc("Printed ") + field("PRINTDATE \\\\@ \"M/d/yyyy\"", "5/13/2025")],
             widths, borders="", text_fmt="\\f0\\fs16\\cf1")
    b += "\\pard\\par" + CRLF
    return doc(b, ("arial",), colors)


SALUTATIONS = {
    "Darling.txt": "Darling,",
    "Dear Dr.txt": "Dear Dr. ,",
    "Dear Ladies and Gentlemen.txt": "Dear Ladies and Gentlemen,",
    "Dear Madam.txt": "Dear Madam,",
    "Dear Miss.txt": "Dear Miss ,",
    "Dear Mr.txt": "Dear Mr. ,",
    "Dear Mrs.txt": "Dear Mrs. ,",
    "Dear Ms.txt": "Dear Ms. ,",
    "Dear Sir or Madam.txt": "Dear Sir or Madam,",
    "Dear Sir.txt": "Dear Sir,",
    "Greetings.txt": "Greetings,",
    "My dear.txt": "My dear ,",
    "To Whom It May Concern.txt": "To Whom It May Concern:",
}

# ---------------------------------------------------------------- tables

TABLE_FONTS = ("arial",)


def banding1():
    colors = [(255, 255, 255), (68, 114, 196), (217, 226, 243)]
    widths = [2340] * 4
    b = row(["{\\b\\cf1 %s}" % esc(t) for t in ("Item", "Quarter 1", "Quarter 2", "Quarter 3")], widths,
            borders="", shades=[2] * 4, text_fmt="\\f0\\fs20", header=True)
    for i in range(8):
        b += row([esc("[Item %d]" % (i + 1)), "", "", ""], widths, borders="",
                 shades=[3] * 4 if i % 2 == 0 else [None] * 4, text_fmt="\\f0\\fs20")
    b += "\\pard\\par" + CRLF
    return doc(b, TABLE_FONTS, colors)


def banding2():
    colors = [(0, 97, 65), (226, 239, 218), (198, 224, 180), (255, 255, 255)]
    widths = [2808, 2184, 2184, 2184]
    b = row(["{\\b\\cf4 %s}" % esc(t) for t in ("Name", "Mon", "Wed", "Fri")], widths, borders="b",
            shades=[1] * 4, text_fmt="\\f0\\fs20", header=True)
    for i in range(10):
        shade = 2 if i % 2 == 0 else None
        b += row([esc("[Name]"), "", "", ""], widths, borders="b",
                 shades=[3 if shade else 2, shade, 3 if shade else 2, shade], text_fmt="\\f0\\fs20")
    b += "\\pard\\par" + CRLF
    return doc(b, TABLE_FONTS, colors)


def black_header():
    colors = [(0, 0, 0), (255, 255, 255)]
    widths = [3120, 3120, 3120]
    b = row(["{\\b\\cf2 %s}" % esc(t) for t in ("[Heading]", "[Heading]", "[Heading]")], widths,
            shades=[1] * 3, text_fmt="\\f0\\fs20", header=True)
    for _ in range(5):
        b += row(["", "", ""], widths, text_fmt="\\f0\\fs20")
    b += "\\pard\\par" + CRLF
    return doc(b, TABLE_FONTS, colors)


def box():
    colors = [(242, 242, 242)]
    b = ("\\trowd\\trgaph144\\trleft-144\\clbrdrt\\brdrs\\brdrw30\\clbrdrl\\brdrs\\brdrw30"
         "\\clbrdrb\\brdrs\\brdrw30\\clbrdrr\\brdrs\\brdrw30\\clcbpat1\\cellx9216" + CRLF)
    b += "\\pard\\intbl\\sb120\\sa120 {\\f0\\fs22\\b " + esc("[Box heading]") + "}\\par" + CRLF
    b += "\\pard\\intbl\\sa120 {\\f0\\fs20 " + esc("[Type the text of the box here. The box grows as you type.]") + "}\\cell \\row" + CRLF
    b += "\\pard\\par" + CRLF
    return doc(b, TABLE_FONTS, colors)


def calendar():
    colors = [(255, 255, 255), (47, 84, 150), (214, 220, 229), (192, 0, 0)]
    widths = [1337] * 7
    right = -108
    b = "\\trowd\\trgaph108\\trleft-108"
    for i in range(7):
        right += widths[i]
        b += cell_def(right, "tlbr", 2, "\\clmgf" if i == 0 else "\\clmrg")
    b += CRLF + "\\pard\\intbl\\qc {\\f0\\fs32\\b\\cf1 " + esc("[Month Year]") + "}\\cell " + "\\cell " * 6 + "\\row" + CRLF
    days = ("Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun")
    b += row(["{\\b%s %s}" % ("\\cf4" if d == "Sun" else "", esc(d)) for d in days], widths, shades=[3] * 7,
             text_fmt="\\f0\\fs18", para_fmt="\\qc")
    day = 1 - 3  # the first of the month on a Thursday
    for _ in range(5):
        cells = []
        for wd in range(7):
            if 1 <= day <= 31:
                cells.append("{%s %d}" % ("\\cf4" if wd == 6 else "", day))
            else:
                cells.append("")
            day += 1
        b += row(cells, widths, text_fmt="\\f0\\fs20", height=1134)
    b += "\\pard\\par" + CRLF
    return doc(b, TABLE_FONTS, colors)


def numbered_rows():
    widths = [720, 4320, 4320]
    b = row(["{\\b #}", "{\\b %s}" % esc("[Heading]"), "{\\b %s}" % esc("[Heading]")], widths, text_fmt="\\f0\\fs20",
            header=True)
    for i in range(1, 11):
        b += row([esc("%d." % i), "", ""], widths, text_fmt="\\f0\\fs20")
    b += "\\pard\\par" + CRLF
    return doc(b, TABLE_FONTS, [])


def questionnaire():
    colors = [(217, 217, 217)]
    widths = [5760, 1200, 1200, 1200]
    box_char = "\\u9744?"
    b = row(["{\\b %s}" % esc(t) for t in ("Question", "Yes", "No", "Not sure")], widths, shades=[1] * 4,
            text_fmt="\\f0\\fs20", header=True, para_fmt="\\qc")
    for i in range(1, 9):
        b += row([esc("%d. [Question]" % i), box_char, box_char, box_char], widths, text_fmt="\\f0\\fs20")
    b += "\\pard\\sb240 {\\f0\\fs20 " + esc("Comments:") + "}\\par" + CRLF
    b += row([""], [9360], borders="b", height=1440)
    b += "\\pard\\par" + CRLF
    return doc(b, TABLE_FONTS, colors)


def score_table():
    colors = [(255, 230, 153)]
    widths = [2880, 1296, 1296, 1296, 1296, 1296]
    b = row(["{\\b %s}" % esc(t) for t in ("Player", "Round 1", "Round 2", "Round 3", "Round 4", "Total")],
            widths, shades=[1] * 6, text_fmt="\\f0\\fs20", header=True)
    for i in range(1, 7):
        b += row([esc("[Player %d]" % i), "", "", "", "", ""], widths, text_fmt="\\f0\\fs20",
                 shades=[None] * 5 + [1])
    b += "\\pard\\par" + CRLF
    return doc(b, TABLE_FONTS, colors)


TWIN_ROWS = 46


def twin_sections():
    # Two identical record sheets side by side, separated by a narrow gap column,
    # so that a page can be printed and cut into two halves.
    colors = [(255, 255, 255), (46, 117, 182), (221, 235, 247)]
    half = [1620, 1440, 1260]
    widths = half + [360] + half
    border = "tlbr"
    # title row: each half merged into one cell
    right = -108
    b = "\\trowd\\trgaph108\\trleft-108"
    for i, w in enumerate(widths):
        right += w
        if i == 3:
            b += "\\cellx%d" % right
            continue
        merge = "\\clmgf" if i in (0, 4) else "\\clmrg"
        b += cell_def(right, border, 2, merge)
    b += CRLF + "\\pard\\intbl\\qc {\\f0\\fs24\\b\\cf1 " + esc("[Section A]") + "}\\cell \\cell \\cell \\cell {\\f0\\fs24\\b\\cf1 " + \
        esc("[Section B]") + "}\\cell \\cell \\cell \\row" + CRLF
    heads = ["Date", "Description", "Amount"]
    cells = ["{\\b %s}" % esc(h) for h in heads] + [""] + ["{\\b %s}" % esc(h) for h in heads]
    shades = [3, 3, 3, None, 3, 3, 3]
    bords = [border] * 3 + [""] + [border] * 3
    b += twin_row(cells, widths, bords, shades, True)
    for i in range(1, TWIN_ROWS + 1):
        shade = 3 if i % 2 == 0 else None
        cells = [esc("%d." % i), "", "", "", esc("%d." % i), "", ""]
        b += twin_row(cells, widths, bords, [shade, shade, shade, None, shade, shade, shade], False)
    cells = ["{\\b %s}" % esc("Total"), "", "", "", "{\\b %s}" % esc("Total"), "", ""]
    b += twin_row(cells, widths, bords, shades, False)
    b += "\\pard\\sb120\\qc {\\f0\\fs16\\i " + esc("[Print both halves on one sheet, then cut along the middle so that each person keeps one copy.]") + "}\\par" + CRLF
    return doc(b, TABLE_FONTS, colors)


def twin_row(cells, widths, bords, shades, header):
    s = "\\trowd\\trgaph108\\trleft-108\\trkeep" + ("\\trhdr" if header else "")
    right = -108
    for i, w in enumerate(widths):
        right += w
        s += cell_def(right, bords[i], shades[i], "\\clvertalc")
    s += CRLF + "\\pard\\intbl\\sa0 "
    for i, text in enumerate(cells):
        align = "\\qr" if i in (2, 6) else ""
        s += "{\\f0\\fs18%s %s}\\cell " % (align, text) if text else "\\cell "
    return s + "\\row" + CRLF


# ---------------------------------------------------------------- images

def png(width, height, pixels):
    """RGBA pixels, rows top to bottom, to a PNG file (colour type 6, 8 bits)."""
    raw = b"".join(b"\x00" + bytes(c for px in r for c in px) for r in pixels)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def lzw_encode(indices, min_size):
    """GIF-flavoured LZW: variable code width, LSB-first packing."""
    clear, eoi = 1 << min_size, (1 << min_size) + 1
    out = bytearray()
    acc = 0
    nbits = 0

    def emit(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    width = min_size + 1
    table = {}
    next_code = eoi + 1
    emit(clear, width)
    prefix = indices[0]
    for k in indices[1:]:
        key = (prefix, k)
        if key in table:
            prefix = table[key]
            continue
        emit(prefix, width)
        table[key] = next_code
        next_code += 1
        if next_code == 4096:
            emit(clear, width)
            table = {}
            next_code = eoi + 1
            width = min_size + 1
        elif next_code > (1 << width):
            width += 1
        prefix = k
    emit(prefix, width)
    emit(eoi, width)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif(width, height, pixels, transparent=None):
    """RGB pixels (or None for transparent) to a GIF89a with a global palette."""
    palette = []
    index = {}
    if transparent is not None:
        palette.append(transparent)
    flat = []
    for r in pixels:
        for px in r:
            if px is None:
                flat.append(0)
                continue
            if px not in index:
                index[px] = len(palette)
                palette.append(px)
            flat.append(index[px])
    if len(palette) > 256:
        raise ValueError("too many colours: %d" % len(palette))
    bits = max(1, (len(palette) - 1).bit_length())
    palette += [(0, 0, 0)] * ((1 << bits) - len(palette))
    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", width, height, 0x80 | ((bits - 1) << 4) | (bits - 1), 0, 0)
    for c in palette:
        out += bytes(c)
    if transparent is not None:
        out += b"\x21\xF9\x04\x01\x00\x00\x00\x00"
    out += b"\x2C" + struct.pack("<HHHHB", 0, 0, width, height, 0)
    min_size = max(2, bits)
    data = lzw_encode(flat, min_size)
    out.append(min_size)
    for i in range(0, len(data), 255):
        part = data[i:i + 255]
        out.append(len(part))
        out += part
    out += b"\x00\x3B"
    return bytes(out)


def coverage(inside, x, y, n=4):
    """Fraction of an n x n grid of samples inside pixel (x, y)."""
    hits = 0
    for j in range(n):
        for i in range(n):
            if inside(x + (i + 0.5) / n, y + (j + 0.5) / n):
                hits += 1
    return hits / (n * n)


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def in_polygon(px, py, pts):
    inside = False
    j = len(pts) - 1
    for i in range(len(pts)):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def near_segment(px, py, a, b, r):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy) <= r


def star_points(cx, cy, r_out, r_in, n=5):
    pts = []
    for k in range(2 * n):
        r = r_out if k % 2 == 0 else r_in
        a = -math.pi / 2 + k * math.pi / n
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return pts


def heart(px, py):
    # classic implicit heart curve, scaled into a 16 x 16 cell
    x = (px - 8) / 6.5
    y = (8.6 - py) / 6.5
    return (x * x + y * y - 1) ** 3 - x * x * y ** 3 <= 0


BULLETS = [
    # shape, base colour
    (lambda x, y: math.hypot(x - 8, y - 8) <= 5.5, (31, 73, 170)),
    (lambda x, y: 3 <= x <= 13 and 3 <= y <= 13, (170, 30, 40)),
    (lambda x, y: abs(x - 8) + abs(y - 8) <= 6.5, (30, 140, 60)),
    (lambda x, y: in_polygon(x, y, [(3.5, 2.5), (13.5, 8), (3.5, 13.5)]), (230, 120, 20)),
    (lambda x, y: in_polygon(x, y, star_points(8, 8.5, 7, 2.9)), (225, 170, 0)),
    (lambda x, y: 3.5 <= math.hypot(x - 8, y - 8) <= 6.5, (0, 128, 128)),
    (lambda x, y: near_segment(x, y, (3, 8.5), (6.5, 12), 1.4) or near_segment(x, y, (6.5, 12), (13, 4), 1.4), (40, 150, 40)),
    (lambda x, y: in_polygon(x, y, [(4, 2.5), (8, 2.5), (13.5, 8), (8, 13.5), (4, 13.5), (9.5, 8)]), (120, 50, 160)),
    (heart, (210, 30, 60)),
]


def bullet_png(shape, colour):
    light = mix(colour, (255, 255, 255), 0.55)
    pixels = []
    for y in range(16):
        r = []
        for x in range(16):
            a = coverage(shape, x, y)
            # a soft highlight towards the top left gives the bullet some depth
            d = min(1.0, math.hypot(x + 0.5 - 5.5, y + 0.5 - 5.5) / 9.0)
            c = mix(light, colour, d)
            r.append(c + (int(round(a * 255)),) if a > 0 else (0, 0, 0, 0))
        pixels.append(r)
    return png(16, 16, pixels)


def quantize(c, step):
    return tuple(min(255, int(round(v / step) * step)) for v in c)


def line_gif(width, height, painter, bg=(255, 255, 255), transparent=False):
    """painter(x, y) -> RGB or None; None means background."""
    pixels = []
    for y in range(height):
        r = []
        for x in range(width):
            c = painter(x, y)
            r.append((None if transparent else bg) if c is None else c)
        pixels.append(r)
    return gif(width, height, pixels, transparent=bg if transparent else None)


def classic1():
    dark, light = (64, 64, 64), (192, 192, 192)
    return line_gif(480, 3, lambda x, y: dark if y == 0 else (light if y == 1 else None))


def classic2():
    navy = (0, 32, 96)
    return line_gif(480, 7, lambda x, y: navy if y in (0, 1, 2, 5) else None)


def classic3():
    def paint(x, y):
        # a dotted line that fades out towards both ends
        if y not in (1, 2) or x % 6 >= 3:
            return None
        t = min(x, 479 - x) / 120.0
        return quantize(mix((230, 230, 230), (128, 0, 0), min(1.0, t)), 16)
    return line_gif(480, 4, paint)


def flower_line():
    stem, petal, centre, leaf = (60, 130, 50), (235, 110, 160), (250, 210, 40), (90, 170, 70)

    def paint(x, y):
        cx = (x // 32) * 32 + 16
        dx, dy = x + 0.5 - cx, y + 0.5 - 8
        rr = math.hypot(dx, dy)
        if rr <= 1.8:
            return centre
        if rr <= 6.5:
            ang = math.atan2(dy, dx)
            if rr <= 3.5 + 3.0 * abs(math.cos(2.5 * ang)):
                return petal
        if y == 8 or y == 9:
            return stem
        ldx = (x % 32) - 4
        if 0 <= ldx < 6 and abs(y - (7 - ldx * 0.5)) < 1.0:
            return leaf
        return None
    return line_gif(480, 16, paint)


def grapevine():
    vine, leaf, grape, grape_light = (110, 75, 40), (70, 130, 50), (90, 40, 120), (150, 100, 180)

    def paint(x, y):
        yc = 5.5 + 2.5 * math.sin(x * 2 * math.pi / 60)
        if abs(y + 0.5 - yc) <= 0.9:
            return vine
        phase = x % 60
        # a leaf rests on the vine before each crest, a bunch of grapes hangs under each trough
        lx, ly = phase + 0.5 - 36, y + 0.5 - 2.0
        if (lx / 3.8) ** 2 + (ly / 1.7) ** 2 <= 1:
            return leaf
        for gx, gy in ((15, 10.0), (13.3, 12.2), (16.7, 12.2), (15, 14.3)):
            d = math.hypot(phase + 0.5 - gx, y + 0.5 - gy)
            if d <= 1.5:
                return grape_light if (phase + 0.5 < gx and y + 0.5 < gy) else grape
        return None
    return line_gif(480, 16, paint)


def sign_gif(shape_fill, fill, glyph, glyph_colour, outline=None, outline_colour=None):
    white = (255, 255, 255)
    pixels = []
    for y in range(32):
        r = []
        for x in range(32):
            a = coverage(shape_fill, x, y)
            if a < 0.5:
                r.append(None)
                continue
            c = fill
            if outline is not None and coverage(outline, x, y) > 0.5:
                c = outline_colour
            g = coverage(glyph, x, y)
            if g > 0:
                c = mix(c, glyph_colour, g)
            r.append(quantize(mix(white, c, min(1.0, a * 1.1)), 8))
        pixels.append(r)
    return gif(32, 32, pixels, transparent=(255, 0, 255))


def exclamation():
    tri = [(16, 1.5), (30.5, 29), (1.5, 29)]
    inner = [(16, 5.5), (27, 27), (5, 27)]

    def outline(x, y):
        return in_polygon(x, y, tri) and not in_polygon(x, y, inner)

    def glyph(x, y):
        return (near_segment(x, y, (16, 11), (16, 19.5), 1.7)) or math.hypot(x - 16, y - 23.5) <= 1.8

    return sign_gif(lambda x, y: in_polygon(x, y, tri), (255, 204, 0), glyph, (0, 0, 0), outline, (120, 90, 0))


def question():
    def glyph(x, y):
        d = math.hypot(x - 16, y - 12)
        ang = math.degrees(math.atan2(y - 12, x - 16))
        # the hook: an arc from the left, over the top, round to below the centre
        arc = 4.0 <= d <= 7.2 and not (90 <= ang <= 180 or -180 <= ang <= -170)
        stem = near_segment(x, y, (16, 17), (16, 20.5), 1.6)
        dot = math.hypot(x - 16, y - 25) <= 1.9
        return arc or stem or dot

    circle = lambda x, y: math.hypot(x - 16, y - 16) <= 15
    ring = lambda x, y: 13.5 <= math.hypot(x - 16, y - 16) <= 15
    return sign_gif(circle, (30, 100, 200), glyph, (255, 255, 255), ring, (10, 50, 130))


# ---------------------------------------------------------------- the list

def payload_files():
    """(archive name, bytes) for every file but the main program, in archive order."""
    files = [("License.txt", LICENSE.replace("\n", "\r\n").encode("utf-8"))]
    T = "Templates\\"
    for name, fn in (("Letters\\Letter 1.rtf", letter1), ("Letters\\Letter 2.rtf", letter2),
                     ("Letters\\Letter 3.rtf", letter3), ("Letters\\Letter 4.rtf", letter4),
                     ("Memos\\Memo 1.rtf", memo1), ("Memos\\Memo 2.rtf", memo2), ("Memos\\Memo 3.rtf", memo3),
                     ("Memos\\Memo 4.rtf", memo4), ("Memos\\Note.rtf", note),
                     ("Stories\\Book.rtf", book), ("Stories\\eBook.rtf", ebook),
                     ("TOCs\\Table Of Contents 1.rtf", toc1), ("TOCs\\Table Of Contents 2.rtf", toc2),
                     ("TOCs\\Table Of Contents 3.rtf", toc3), ("TOCs\\Table Of Contents 4.rtf", toc4),
                     ("TOCs\\Table Of Contents 5.rtf", toc5)):
        files.append((T + name, rtf_bytes(fn())))
    C = "Clip Library\\"
    closings = ["All the best.txt", "Best regards.rtf", "Best wishes.txt", "Cordially.rtf", "Give kindest regards.txt",
                "Kindest regards.txt", "Looking forward to seeing you.txt", "Lots of love.txt",
                "Love & best wishes.txt", "Love to you all.txt", "Respectfully yours.rtf", "See you.txt",
                "Sincerely yours.rtf", "Sincerely.rtf", "Take care.txt", "Thanks for your time.txt",
                "Thanks in anticipation.rtf", "With best wishes.rtf", "With kind regards.rtf",
                "With kindest regards.rtf", "With Signature 1.rtf", "With Signature 2.rtf", "Your friend.txt",
                "Yours affectionately.txt", "Yours ever.txt", "Yours faithfully.rtf", "Yours sincerely.rtf",
                "Yours truly.rtf"]
    for name in closings:
        if name in CLOSINGS_TXT:
            data = CLOSINGS_TXT[name].encode("utf-8")
        elif name == "With Signature 1.rtf":
            data = rtf_bytes(signature1())
        elif name == "With Signature 2.rtf":
            data = rtf_bytes(signature2())
        else:
            data = rtf_bytes(closing_rtf(*CLOSINGS_RTF[name]))
        files.append((C + "Closings\\" + name, data))
    for name, fn in HEADERS_FOOTERS.items():
        data = full_header() if fn is None else fn()
        files.append((C + "Headers & Footers\\" + name, rtf_bytes(data)))
    for i, (shape, colour) in enumerate(BULLETS, 1):
        files.append((C + "Images\\Bullets\\Bullet %02d.png" % i, bullet_png(shape, colour)))
    for name, fn in (("Classic 1.gif", classic1), ("Classic 2.gif", classic2), ("Classic 3.gif", classic3),
                     ("Flowers.gif", flower_line), ("Grapevine.gif", grapevine)):
        files.append((C + "Images\\Lines\\" + name, fn()))
    files.append((C + "Images\\Signs\\Exclamation.gif", exclamation()))
    files.append((C + "Images\\Signs\\Question.gif", question()))
    for name, text in SALUTATIONS.items():
        # a salutation is followed by a blank line before the body of the letter
        files.append((C + "Salutations\\" + name, (text + "\r\n\r\n").encode("utf-8")))
    for name, fn in (("Banding colors 1.rtf", banding1), ("Banding colors 2.rtf", banding2),
                     ("Black header row.rtf", black_header), ("Box.rtf", box), ("Calendar.rtf", calendar),
                     ("Numbered rows.rtf", numbered_rows), ("Questionnaire.rtf", questionnaire),
                     ("Score table.rtf", score_table), ("Twin sections.rtf", twin_sections)):
        files.append((C + "Tables\\" + name, rtf_bytes(fn())))
    return files


MANIFEST_LINE = re.compile(r"^(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\t(.+)$")


def check_manifest(files):
    """The manifest must list qvw.exe and then exactly these files, in this order, on even seconds."""
    path = os.path.join(HERE, "manifest.txt")
    names = []
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            m = MANIFEST_LINE.match(line)
            if not m:
                sys.exit("manifest.txt:%d: bad line" % n)
            if int(m.group(6)) % 2:
                sys.exit("manifest.txt:%d: odd second" % n)
            names.append(m.group(7))
    expected = ["qvw.exe"] + [name for name, _ in files]
    if names != expected:
        for i, (a, b) in enumerate(zip(names, expected)):
            if a != b:
                sys.exit("manifest.txt: entry %d is %r, expected %r" % (i + 1, a, b))
        sys.exit("manifest.txt: %d entries, expected %d" % (len(names), len(expected)))


def main():
    files = payload_files()
    for name, data in files:
        path = os.path.join(OUT, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    check_manifest(files)
    print("%d files written to %s" % (len(files), OUT))


if __name__ == "__main__":
    main()
