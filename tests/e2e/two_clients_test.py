"""One class, two clients: a teacher and a student of the build meet in the class room and live through
a class by clicks and keys on their real windows. Each step checks what each user sees (pixels at the
controls' places, the chat panes' text as a user copies it), what reached the room, and the databases.
The teacher's pen (colour and width picked in the pen tool) is read from both screens' pixels, and again
after the student joins anew and loads the room's history. Screenshots of both screens go into the
output folder.
Usage: two_clients_test.py --build DIR --source DIR --wine PATH --wineserver PATH --arch win32|win64 --out DIR"""

import argparse
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from classdrive import Class, Failure, wait_for  # noqa: E402

TEACHER_MARK = (0x2F, 0x6D, 0xB5)  # roster role marks, from the shipped skin
STUDENT_MARK = (0x9F, 0xC3, 0xA8)
SPEAKER_AREA = (0xEA, 0xF4, 0xEA)
BEGIN_GREEN = (0x33, 0xBB, 0x44)
OVER_RED = (0xD9, 0x36, 0x3E)
QUEUE_BUTTON = (0x66, 0x66, 0x66)
STROKE_GREEN = (0x33, 0xBB, 0x44)  # the pen tool's third colour


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
    board = teacher.places("MainWnd.xml", teacher.size, "MainScreenCtner=show")["MainScreenCtner"]
    s_board = student.places("MainWnd.xml", student.size, "MainScreenCtner=show")["MainScreenCtner"]
    before = student.grab(s_board)
    # Without a window manager a clicked owner window covers its floating panel; one would keep it on top.
    teacher.xdotool("windowraise", panel)
    time.sleep(0.3)
    teacher.click(panel_places["WhiteBoardCheck"], origin=panel_origin)
    wait_for("the room to see the whiteboard go live", lambda: lesson.room.messages(820, lesson.TEACHER))
    wait_for("the whiteboard on the student's screen", lambda: differs(student, s_board, before), 10, 0.2)
    time.sleep(0.5)
    pick_pen(teacher, 2, 4)  # green (0xFF33BB44), the widest pen (6 pixels)
    wait_for("the room to see the green pen", lambda: any(m["head"][10:14] == "0306" for m in
                                                          lesson.room.messages(818, lesson.TEACHER)))
    latency = draw_stroke(lesson, board, s_board, 0)
    print("stroke latency (teacher mouse-up to student paint): %.1f ms" % latency, flush=True)
    t_probe, s_probe = stroke_columns(board, s_board, 0)
    for client, probe in ((teacher, t_probe), (student, s_probe)):
        wait_for("the stroke green and 6 pixels wide on the %s's screen" % client.name,
                 lambda: six_wide_green(client, probe), 10, 0.2)
    shots(lesson, "step4")

    step("4b", "the student joins again; the room's history shows the stroke as it was drawn")
    lesson.restart_student()
    student = lesson.student
    wait_for("the stroke green and 6 pixels wide on the rejoined student's screen",
             lambda: six_wide_green(student, s_probe), 20, 0.3)

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


def stroke_columns(board, s_board, index):
    """One pixel column across the stroke of draw_stroke on each board: the teacher's, the student's."""
    width, height = board[2] - board[0], board[3] - board[1] - 150
    y = int(height * (0.1 + 0.8 * ((index * 7) % 50) / 50.0))
    x = int(width * 0.5)
    s_x = x * (s_board[2] - s_board[0]) // (board[2] - board[0])
    lowest = y * (s_board[3] - s_board[1]) // (board[3] - board[1] - 26)
    return ((board[0] + x, board[1] + y - 20, board[0] + x + 1, board[1] + y + 20),
            (s_board[0] + s_x, s_board[1] + y - 20, s_board[0] + s_x + 1, s_board[1] + lowest + 20))


def six_wide_green(client, column):
    """The column crosses one line of the green 6-pixel pen (a line may round to a pixel more or less)."""
    green, black = ink(client, column)
    return 5 <= green <= 7 and black == 0


def ink(client, column):
    """The rows of a one-pixel column in the stroke's green, and in the thin black of a missing pen."""
    pixels = client.grab(column)
    return (sum(last - first + 1 for first, last in pixels.rows_with(0, STROKE_GREEN, 40)),
            sum(last - first + 1 for first, last in pixels.rows_with(0, (0, 0, 0), 40)))


def draw_stroke(lesson, board, s_board, index):
    """Draws one stroke on the teacher's board and answers the milliseconds from the mouse-up to the moment
    the stroke shows on the student's screen."""
    teacher, student = lesson.teacher, lesson.student
    # The teacher's control panel floats over the board's lowest 120 pixels, the tab bar below the surface.
    width, height = board[2] - board[0], board[3] - board[1] - 150
    row = 0.1 + 0.8 * ((index * 7) % 50) / 50.0
    x0, x1 = int(width * 0.25), int(width * 0.75)
    y = int(height * row)
    # Points travel relative to the surface: where the student's board shows no tab bar, its surface is
    # taller and the stroke lands proportionally lower.
    lowest = y * (s_board[3] - s_board[1]) // (board[3] - board[1] - 26)
    probe = (s_board[0] + x0, s_board[1] + y - 6, s_board[0] + x1, s_board[1] + lowest + 8)
    before = student.grab(probe)
    ox, oy = teacher.origin
    screen = teacher.screen
    screen.move(ox + board[0] + x0, oy + board[1] + y)
    screen.button(True)
    for step_ in range(1, 11):
        screen.move(ox + board[0] + x0 + (x1 - x0) * step_ // 10, oy + board[1] + y)
        time.sleep(0.01)
    screen.button(False)
    released = time.monotonic()
    shown = wait_for("the stroke on the student's surface",
                     lambda: time.monotonic() if differs(student, probe, before) else None, 10, 0.001)
    return (shown - released) * 1000.0


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
