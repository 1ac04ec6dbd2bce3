"""One class, two clients: a teacher and a student of the build meet in the class room and live through
a class by clicks and keys on their real windows. Each step checks what each user sees (pixels at the
controls' places, the chat panes' text as a user copies it), what reached the room, and the databases.
The teacher's strokes, among them lines along the four edges of the board she sees with her control
panel folded and shown, are read from both screens' pixels where the stroke mapping puts them on each
board (with the pen's colour and width picked in the pen tool), again on the teacher's screen after
her pages reload and on the student's after she joins anew and loads the room's history. Screenshots
of both screens go into the output folder.
Usage: two_clients_test.py --build DIR --source DIR --wine PATH --wineserver PATH --arch win32|win64 --out DIR"""

import argparse
import math
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from classdrive import (FLOATING_BARS, Class, Failure, covered, drawn_here, floating_bars, lands,  # noqa: E402
                        measure_board, wait_for)

TEACHER_MARK = (0x2F, 0x6D, 0xB5)  # roster role marks, from the shipped skin
STUDENT_MARK = (0x9F, 0xC3, 0xA8)
SPEAKER_AREA = (0xEA, 0xF4, 0xEA)
BEGIN_GREEN = (0x33, 0xBB, 0x44)
OVER_RED = (0xD9, 0x36, 0x3E)
QUEUE_BUTTON = (0x66, 0x66, 0x66)
STROKE_GREEN = (0x33, 0xBB, 0x44)  # the pen tool's third colour
PEN = 6  # the width of the pen tool's widest pen
EDGE = 4  # how far in from the board's visible edges the teacher draws along them


def step(number, text):
    print("step %s: %s" % (number, text), flush=True)


def shots(lesson, name):
    for client in (lesson.teacher, lesson.student):
        client.screenshot(os.path.join(lesson.out, "%s-%s.png" % (name, client.name)))


def roster_marks(client, places):
    pixels = client.grab(places["StudentList"])
    return len(pixels.rows_with(8, TEACHER_MARK)), len(pixels.rows_with(8, STUDENT_MARK))


def room_states(lesson, type_, user):
    """The state bytes of the speak-state or class-state messages a user sent, in order."""
    offset = 4 if type_ == 810 else 10
    return [int(m["head"][offset * 2:offset * 2 + 2], 16) for m in lesson.room.messages(type_, user)
            if len(m["head"]) >= offset * 2 + 2]


def chat_rows(client, user_id):
    return client.query(user_id, "select user_id, msg, font_bold, font_color from MsgInfo order by msg_id")


def differs(client, place, before):
    return not client.grab(place).same_as(before)


def run(lesson):
    teacher, student = lesson.teacher, lesson.student
    t_places = teacher.places("MainWnd.xml", teacher.size, "ClassOverBtn=hide", "Switch_T_S_MicPart=tab0")
    s_places = student.places("MainWnd.xml", student.size, "ClassBeginBtn=hide", "ClassOverBtn=hide",
                              "Switch_T_S_MicPart=tab1", "AllowDiscuss=hide", "StuQuestionBtn=show")

    step(1, "both rosters list both users")
    wait_for("both users in the room", lambda: lesson.room.joined() == {lesson.TEACHER, lesson.STUDENT})
    for client, places in ((teacher, t_places), (student, s_places)):
        wait_for("%s's roster to list a teacher and a student" % client.name,
                 lambda: roster_marks(client, places) == (1, 1), 20, 0.3)
    shots(lesson, "step1")

    step(2, "the teacher begins the class and the student's clock runs")
    clock = student.grab(s_places["TimeLabel"])
    teacher.click(t_places["ClassBeginBtn"])
    wait_for("the room to see the class begin", lambda: 2 in room_states(lesson, 811, lesson.TEACHER))
    wait_for("the student's clock to start", lambda: differs(student, s_places["TimeLabel"], clock), 10, 0.2)
    clock = student.grab(s_places["TimeLabel"])
    wait_for("the student's clock to go on", lambda: differs(student, s_places["TimeLabel"], clock), 5, 0.2)
    shots(lesson, "step2")

    step(3, "a chat line in bold orange from the teacher, one back from the student")
    teacher.click(t_places["FontCheck"])
    time.sleep(0.3)
    t_font = teacher.places("MainWnd.xml", teacher.size, "ClassBeginBtn=hide", "ClassOverBtn=show",
                            "RecordCheck=show", "FontSetArea=show")
    teacher.click(t_font["BoldCheck"], dx=6)
    time.sleep(0.3)
    pick_first_item(teacher, t_font["FontColor"], 5)  # the first colour of the skin's list, 0xFFFF5522
    teacher_line, student_line = "Good morning, class", "Good morning, Ms Ann"
    teacher.type_line(t_places["InputEdit"], teacher_line)
    wait_for("the teacher's line at the room", lambda: lesson.room.messages(808, lesson.TEACHER))
    sent = lesson.room.messages(808, lesson.TEACHER)[0]["head"]
    if sent[0:2] != "01" or sent[8:16] != "2255ffff":
        raise Failure("the teacher's line went out without its font (bold, orange): " + sent)
    student.type_line(s_places["InputEdit"], student_line)
    wait_for("the student's line at the room", lambda: lesson.room.messages(808, lesson.STUDENT))
    for client, places in ((teacher, t_places), (student, s_places)):
        wait_for("both lines in the %s's chat pane" % client.name,
                 lambda: all(line in client.copy_text(places["OutputEdit"]) for line in (teacher_line, student_line)),
                 15, 0.5)
    # The writer thread stores what was shown every 5 s.
    expected = [[str(lesson.TEACHER), teacher_line, "1", str(0xFFFF5522)],
                [str(lesson.STUDENT), student_line, "0", str(0xFF000000)]]
    for client, user in ((teacher, lesson.TEACHER), (student, lesson.STUDENT)):
        wait_for("both lines in the %s's database" % client.name,
                 lambda: [row[:2] + [row[2], str(int(row[3]) & 0xFFFFFFFF)] for row in chat_rows(client, user)] == expected,
                 20, 0.5)
    shots(lesson, "step3")

    step(4, "the teacher puts the whiteboard live and draws; the student sees the stroke")
    panel, panel_origin, panel_size = teacher.find_window("ControlPanelWnd", 10)
    panel_places = teacher.places("ControlPanelWnd.xml", panel_size)
    s_area = student.places("MainWnd.xml", student.size, "MainScreenCtner=show")["MainScreenCtner"]
    before = student.grab(s_area)
    # Without a window manager a clicked owner window covers its floating panel; one would keep it on top.
    teacher.xdotool("windowraise", panel)
    time.sleep(0.3)
    teacher.click(panel_places["WhiteBoardCheck"], origin=panel_origin)
    wait_for("the room to see the whiteboard go live", lambda: lesson.room.messages(820, lesson.TEACHER))
    wait_for("the whiteboard on the student's screen", lambda: differs(student, s_area, before), 10, 0.2)
    time.sleep(0.5)
    pick_pen(teacher, 2, 4)  # green (0xFF33BB44), the widest pen (6 pixels)
    wait_for("the room to see the green pen", lambda: any(m["head"][10:14] == "0306" for m in
                                                          lesson.room.messages(818, lesson.TEACHER)))
    t_board, s_board = measure_boards(lesson)
    print("teacher's %s, student's %s" % (t_board, s_board), flush=True)
    tabs = teacher.places("WhiteboardWnd.xml", (t_board.width, t_board.height), "TabArea=show")["TabArea"]
    stroke = stroke_line(teacher, t_board, tabs, 0, 1, PEN)
    latency, problem = draw_stroke(lesson, t_board, s_board, stroke, PEN)
    if problem:
        raise Failure(problem)
    print("stroke latency (teacher mouse-up to student paint): %.1f ms" % latency, flush=True)
    check_surface(lesson, t_board)
    lines = [stroke]
    check_lines(teacher, t_board, lines, lambda v, axis: drawn_here(v, t_board.size(axis)), "as drawn")
    check_lines(student, s_board, lines, lambda v, axis: lands(v, t_board.size(axis), s_board.size(axis)),
                "as received")
    shots(lesson, "step4")

    step("4a", "the teacher draws along the four edges of her visible board, with the control panel folded and "
               "shown; every line lands at the same fractions of both boards")
    # The bottom edge moves with the panel; the other lines of the second round are drawn further in, apart
    # from those of the first.
    for shown, inset in ((False, EDGE), (True, EDGE + 3 * PEN)):
        set_panel(teacher, shown)
        edges = edge_lines(teacher, t_board, tabs, inset)
        for line in edges:
            draw_line(teacher, t_board, line.start_point(), line.end_point())
            time.sleep(0.1)
        raise_bars(teacher)
        check_lines(teacher, t_board, edges, lambda v, axis: drawn_here(v, t_board.size(axis)), "as drawn")
        check_lines(student, s_board, edges, lambda v, axis: lands(v, t_board.size(axis), s_board.size(axis)),
                    "as received")
        check_surface(lesson, t_board)
        lines += edges
        shots(lesson, "step4a-panel-%s" % ("shown" if shown else "folded"))
    # A pen pick reloads the teacher's pages from what the room sent back.
    pick_pen(teacher, 0, 4)
    raise_bars(teacher)
    check_lines(teacher, t_board, lines, lambda v, axis: lands(v, t_board.size(axis), t_board.size(axis)),
                "after a reload")
    shots(lesson, "step4a-reloaded")

    step("4b", "the student joins again; the room's history shows every line as it was drawn")
    size = student.size
    lesson.restart_student()
    student = lesson.student
    if student.size != size:
        raise Failure("the rejoined student's window is %dx%d, not %dx%d as before" % (student.size + size))
    check_lines(student, s_board, lines, lambda v, axis: lands(v, t_board.size(axis), s_board.size(axis)),
                "from the history", timeout=20)

    step(5, "the student applies for the microphone, the teacher gives it, the student speaks by voice")
    voice = student.places("MainWnd.xml", student.size, "ClassBeginBtn=hide", "ClassOverBtn=hide",
                           "Switch_T_S_MicPart=tab1", "AllowDiscuss=hide", "StuQuestionBtn=show",
                           "SpeakerArea1=show", "SpeakerArea1=tab0")
    speak_by_voice(lesson, t_places, s_places, voice)

    step(6, "the teacher ends the class; both windows show it")
    t_running = teacher.places("MainWnd.xml", teacher.size, "ClassBeginBtn=hide", "ClassOverBtn=show", "RecordCheck=show")
    teacher.click(t_running["ClassOverBtn"])
    wait_for("the room to see the class end", lambda: 4 in room_states(lesson, 811, lesson.TEACHER))
    wait_for("the begin button back on the teacher's screen",
             lambda: teacher.grab(t_places["ClassBeginBtn"]).count(BEGIN_GREEN) > 100
             and teacher.grab(t_places["ClassBeginBtn"]).count(OVER_RED) == 0, 10, 0.2)
    wait_for("the class-over line in the student's chat pane",
             lambda: "Class Is Over!" in student.copy_text(s_places["OutputEdit"]), 10, 0.5)
    clock = student.grab(s_places["TimeLabel"])
    time.sleep(1.5)
    if differs(student, s_places["TimeLabel"], clock):
        raise Failure("the student's clock still runs after the class ended")
    shots(lesson, "step6")


def pick_first_item(client, combo, items, index=0, origin=None):
    """Opens a combo box's list and clicks its first item (or the item of that index)."""
    shown = set(client.xdotool("search", "--onlyvisible", "--name", "^$").split())
    client.click(combo, origin=origin)
    drop = wait_for("the %s's drop-down list" % client.name,
                    lambda: set(client.xdotool("search", "--onlyvisible", "--name", "^$").split()) - shown, 5, 0.1)
    window = sorted(drop)[-1]
    shell = client.xdotool("getwindowgeometry", "--shell", window)
    geometry = dict(line.split("=", 1) for line in shell.split() if "=" in line)
    width, height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])
    row = height // items
    client.click((0, row * index, width, row * (index + 1)), origin=(int(geometry["X"]), int(geometry["Y"])))
    time.sleep(0.3)


def pick_pen(client, colour, size):
    """Picks a colour and a width item in the pen tool (with the whiteboard its "Draw" box is hidden and
    the tools are free)."""
    bar, origin, bar_size = client.find_window("PenToolWnd", 10)
    places = client.places("PenToolWnd.xml", bar_size, "LockCheck=hide")
    client.xdotool("windowraise", bar)
    time.sleep(0.3)
    pick_first_item(client, places["ColorCombo"], 5, colour, origin)
    pick_first_item(client, places["PenSizeCombo"], 5, size, origin)


class Line:
    """A straight stroke on the teacher's board: level (along x) or upright (along y), at one coordinate
    across, from `start` to `end` along (the board window's client pixels)."""

    def __init__(self, name, level, at, start, end):
        self.name, self.level, self.at, self.start, self.end = name, level, at, start, end

    def start_point(self):
        return (self.start, self.at) if self.level else (self.at, self.start)

    def end_point(self):
        return (self.end, self.at) if self.level else (self.at, self.end)


def set_panel(teacher, shown):
    """Shows or folds the teacher's control panel with its button, as she does."""
    def panel_shown():
        return bool(teacher.xdotool("search", "--onlyvisible", "--name", "^ControlPanelWnd$").split())
    if panel_shown() == shown:
        return
    button, origin, size = teacher.find_window("CpBtnWnd", 10)
    teacher.xdotool("windowraise", button)
    time.sleep(0.3)
    teacher.click((0, 0, size[0], size[1]), origin=origin)
    wait_for("the teacher's control panel %s" % ("shown" if shown else "folded"), lambda: panel_shown() == shown, 5, 0.1)
    raise_bars(teacher)


def raise_bars(client):
    """Puts the floating bars back over the main window, as a window manager would keep them."""
    for name in FLOATING_BARS:
        for window in client.xdotool("search", "--onlyvisible", "--name", "^%s$" % name).split():
            client.xdotool("windowraise", window)
    time.sleep(0.3)


def measure_boards(lesson):
    """Both live boards as the screens show them, with the teacher's control panel folded (it stays so)."""
    set_panel(lesson.teacher, False)
    boards = []
    for client in (lesson.teacher, lesson.student):
        # A point inside the board where the skin lays it out; the rectangle itself is read from the screen.
        area = client.places("MainWnd.xml", client.size, "MainScreenCtner=show")["MainScreenCtner"]
        boards.append(measure_board(client, ((area[0] + area[2]) // 2, (area[1] + area[3]) // 2)))
    return boards


def check_surface(lesson, board):
    """The teacher's strokes go to the room with her drawing surface's size: her whole board window."""
    sizes = set()
    for m in lesson.room.messages(818, lesson.TEACHER):
        head = m["head"]
        if head[0:2] == "12" and len(head) >= 48:  # a whiteboard stroke; the head holds the surface's size
            sizes.add((int(head[42:44] + head[40:42], 16), int(head[46:48] + head[44:46], 16)))
    if sizes != {(board.width, board.height)}:
        raise Failure("the teacher's strokes went out from surfaces of %s, her board window is %dx%d"
                      % (sorted(sizes), board.width, board.height))


def clear_rows(client, board, tabs, x0, x1):
    """The rows of the board between columns x0 and x1 over which neither the page tabs nor a floating bar lie."""
    top, bottom = 0, board.height
    if tabs[0] < x1 and tabs[2] > x0:
        top = tabs[3]
    for _, r in floating_bars(client):
        if r[0] < board.left + x1 and r[2] > board.left + x0 and r[3] > board.top + top:
            bottom = min(bottom, r[1] - board.top)
    return top, bottom


def stroke_line(teacher, board, tabs, index, count, pen):
    """The index-th of `count` level strokes across the middle half of the teacher's board, each on a row of
    its own, spread over the rows that nothing covers."""
    x0, x1 = board.width // 4, board.width * 3 // 4
    top, bottom = clear_rows(teacher, board, tabs, x0, x1)
    rows = bottom - top - 2 * pen
    if rows < 2 * count:
        raise Failure("%d strokes do not fit on %d rows of the teacher's board" % (count, rows))
    order = (index * 7) % count if math.gcd(7, count) == 1 else index
    return Line("stroke %d" % index, True, top + pen + rows * (2 * order + 1) // (2 * count), x0, x1)


def edge_lines(teacher, board, tabs, inset):
    """Lines along the four edges of the board the teacher sees: a level one EDGE pixels above its bottom
    (the control panel's top while the panel is shown), the others `inset` pixels in from the top, the left
    and the right; the page tabs' corner is left out."""
    bottom = board.height
    for name, r in floating_bars(teacher):
        if name == "ControlPanelWnd":
            bottom = min(bottom, r[1] - board.top)
    right, low = board.width - 1 - inset, bottom - 1 - EDGE
    return [Line("top", True, inset, tabs[2] + inset, right), Line("bottom", True, low, inset, right),
            Line("left", False, inset, tabs[3] + inset, low), Line("right", False, right, inset, low)]


def draw_line(client, board, a, b, steps=10):
    """Draws a stroke from a to b (the board window's client pixels) by pointer input; answers the moment
    of the mouse-up."""
    ox, oy = client.origin[0] + board.left, client.origin[1] + board.top
    screen = client.screen
    screen.move(ox + a[0], oy + a[1])
    screen.button(True)
    for i in range(1, steps + 1):
        screen.move(ox + a[0] + (b[0] - a[0]) * i // steps, oy + a[1] + (b[1] - a[1]) * i // steps)
        time.sleep(0.01)
    screen.button(False)
    return time.monotonic()


def _near(pixel, colour, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(pixel, colour))


def _across(client, board, line, along, lo, hi):
    """The pixels across a line's place on a board, from lo to hi (excluded), at `along`."""
    if line.level:
        pixels = client.grab((board.left + along, board.top + lo, board.left + along + 1, board.top + hi))
        return [pixels.at(0, i) for i in range(pixels.height)]
    pixels = client.grab((board.left + lo, board.top + along, board.left + hi, board.top + along + 1))
    return [pixels.at(i, 0) for i in range(pixels.width)]


def line_shows(client, board, line, where, pen, colour, bars):
    """Whether a line shows on a client's board where `where` (a teacher's coordinate and its axis, 0 for x,
    to the pixels this board may paint it at) puts it: across the line, at a place along it that nothing
    floats over, its ink lies within half the pen's width of a centre, covers one and is the pen's width
    (less what the board's edge cuts off). Answers None where every place is covered, else (ok, what)."""
    across_axis, along_axis = (1, 0) if line.level else (0, 1)
    centres = sorted(where(line.at, across_axis))
    first, last = min(where(line.start, along_axis)), max(where(line.end, along_axis))
    extent = board.height if line.level else board.width
    lo, hi = max(0, centres[0] - 3 * pen // 2), min(extent, centres[-1] + 3 * pen // 2 + 1)
    for fraction in (0.5, 0.25, 0.75, 0.125, 0.875):
        along = first + pen + int((last - first - 2 * pen) * fraction)
        ends = [(along, lo), (along, hi - 1)] if line.level else [(lo, along), (hi - 1, along)]
        if not any(covered((board.left + x, board.top + y), bars) for x, y in ends):
            break
    else:
        return None
    pixels = _across(client, board, line, along, lo, hi)
    ink = [lo + i for i, p in enumerate(pixels) if _near(p, colour)]
    black = [lo + i for i, p in enumerate(pixels) if _near(p, (0, 0, 0))]
    band = [p for p in range(centres[0] - pen, centres[-1] + pen + 1) if min(abs(p - c) for c in centres) <= pen / 2]
    cut = len([p for p in band if p < 0 or p >= extent])
    ok = (bool(ink) and not black and all(p in band for p in ink) and any(c in ink for c in centres)
          and len(ink) >= pen - 1 - cut)
    what = "the %s line on the %s's board, %s %d: ink at %s, black at %s; where it must be: %s" % (
        line.name, client.name, "column" if line.level else "row", along, _runs(ink), _runs(black), _runs(band))
    return ok, what


def _runs(values):
    runs = []
    for v in values:
        if runs and v == runs[-1][1] + 1:
            runs[-1][1] = v
        else:
            runs.append([v, v])
    return ", ".join("%d..%d" % (a, b) if a != b else str(a) for a, b in runs) or "none"


def check_lines(client, board, lines, where, how, timeout=10, pen=None, colour=None):
    """Waits until every line shows on the client's board where `where` puts it; fails naming where it shows."""
    pen, colour = pen or PEN, colour or STROKE_GREEN
    bars = floating_bars(client)
    end = time.monotonic() + timeout
    pending = list(lines)
    while pending:
        results = [(line, line_shows(client, board, line, where, pen, colour, bars)) for line in pending]
        pending = [line for line, result in results if result is not None and not result[0]]
        if pending and time.monotonic() > end:
            raise Failure("lines misplaced or missing %s: %s" % (
                how, "; ".join(result[1] for line, result in results if result is not None and not result[0])))
        if pending:
            time.sleep(0.2)


def draw_stroke(lesson, t_board, s_board, line, pen, timeout=10):
    """Draws a level line on the teacher's board and answers (the milliseconds from her mouse-up until it shows
    on the student's screen, None) once the student's board has changed where the mapping puts it and
    nowhere else across it; (None, what happened) when it does not show there."""
    teacher, student = lesson.teacher, lesson.student
    rows = sorted(lands(line.at, t_board.height, s_board.height))
    first, last = min(lands(line.start, t_board.width, s_board.width)), max(lands(line.end, t_board.width, s_board.width))
    band = [p for p in range(rows[0] - pen, rows[-1] + pen + 1) if min(abs(p - c) for c in rows) <= pen / 2]
    # Watched: the line's band, clear of its round ends; checked: one whole column of the student's board.
    probe = (s_board.left + first + pen, s_board.top + band[0], s_board.left + last - pen, s_board.top + band[-1] + 1)
    column = (s_board.left + (first + last) // 2, s_board.top, s_board.left + (first + last) // 2 + 1, s_board.bottom)
    before, column_before = student.grab(probe), student.grab(column)
    released = draw_line(teacher, t_board, line.start_point(), line.end_point())
    shown = None
    end = released + timeout
    while shown is None and time.monotonic() < end:
        if not student.grab(probe).same_as(before):
            shown = time.monotonic()
        else:
            time.sleep(0.001)
    after = student.grab(column)
    changed = [y for y in range(after.height) if after.at(0, y) != column_before.at(0, y)]
    if shown is not None and changed and all(y in band for y in changed):
        return (shown - released) * 1000.0, None
    return None, "%s: the student's board changed at rows %s of column %d, it must at rows %s" % (
        line.name, _runs(changed), (first + last) // 2, _runs(band))


def speak_by_voice(lesson, t_places, s_places, voice):
    teacher, student = lesson.teacher, lesson.student
    student.click(s_places["ApplyMicBtn"])
    wait_for("the room to see the application", lambda: 130 in room_states(lesson, 810, lesson.STUDENT))
    time.sleep(0.5)
    teacher.click(t_places["MicListBtn"])
    queue, queue_origin, queue_size = teacher.find_window("MicListWnd", 10)
    # Each queued user is a row with a grey speak button 10 pixels in from the right edge: one row, one user.
    time.sleep(0.5)
    rows = teacher.screen.grab(queue_origin[0], queue_origin[1], queue_size[0], queue_size[1]).rows_with(
        queue_size[0] - 1 - 11, QUEUE_BUTTON, 8)  # the button's right edge, clear of its text
    if len(rows) != 1:
        raise Failure("the teacher's microphone queue shows %d users, not the student alone" % len(rows))
    # Away from the queue button first, so that its tooltip does not cover the row.
    teacher.xdotool("mousemove", str(queue_origin[0] + 5), str(queue_origin[1] + rows[0][0]))
    time.sleep(0.5)
    teacher.click((queue_size[0] - 1 - 40, rows[0][0], queue_size[0] - 1 - 10, rows[0][1] + 1), origin=queue_origin)
    wait_for("the room to see the teacher give the microphone", lambda: 131 in room_states(lesson, 810, lesson.TEACHER))
    area = voice["SpeakerArea1"]
    wait_for("the student's speaker area", lambda: student.grab(area).count(SPEAKER_AREA, 3) > 50, 10, 0.2)
    if "VoiceSpeak" not in voice:
        shots(lesson, "step5")
        raise Failure("the shipped skin has no \"VoiceSpeak\" button for the student to start speaking")
    student.click(voice["VoiceSpeak"])
    wait_for("the room to see the student speak", lambda: 2 in room_states(lesson, 810, lesson.STUDENT))
    for client in (teacher, student):
        wait_for("the %s's window to show the student speaking" % client.name,
                 lambda: client.grab(area).count(SPEAKER_AREA, 3) > 50, 10, 0.2)
    shots(lesson, "step5")
    t_speaking = teacher.places("MainWnd.xml", teacher.size, "ClassBeginBtn=hide", "ClassOverBtn=show",
                                "RecordCheck=show", "SpeakerArea1=show", "SpeakerArea1=tab1", "StartVideoSpeak=hide")
    teacher.click(t_speaking["EndSpeak"])
    wait_for("the room to see the turn end", lambda: 1 in room_states(lesson, 810, lesson.TEACHER))
    for client in (teacher, student):
        wait_for("the %s's speaker area to close" % client.name,
                 lambda: client.grab(area).count(SPEAKER_AREA, 3) < 10, 10, 0.2)


def main():
    parser = argparse.ArgumentParser()
    for name in ("build", "source", "wine", "wineserver", "arch", "out"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    started = time.monotonic()
    lesson = None
    try:
        lesson = Class(args.build, args.source, args.wine, args.wineserver, args.arch, args.out)
        run(lesson)
    except Exception as failure:  # noqa: BLE001 (any fault ends the scenario with the screens kept)
        print("FAILED: %s" % failure, flush=True)
        if lesson:
            shots(lesson, "failure")
            print("screenshots and the room's log are in " + args.out, flush=True)
        return 1
    finally:
        if lesson:
            lesson.close()
    print("passed in %.0f s; screenshots in %s" % (time.monotonic() - started, args.out), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
