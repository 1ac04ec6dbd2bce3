"""Stroke latency over the loopback class room: the teacher's client draws 50 strokes on the live
whiteboard by pointer input, and each is timed from the teacher's mouse-up to the moment it shows on
the student's screen, where the stroke mapping puts it on the student's board. Prints the median, the
worst and how many strokes showed there; a stroke that does not show there (missing or misplaced) is
named and makes the run fail. Run through bench/classroom/stroke-latency."""

import argparse
import os
import statistics
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "tests", "e2e"))
from classdrive import Class, wait_for  # noqa: E402
from two_clients_test import (draw_stroke, measure_boards, pick_pen, room_states, roster_marks,  # noqa: E402
                              stroke_line)

PEN = 3  # the pen tool's black pen of width 3, picked before drawing


def main():
    parser = argparse.ArgumentParser()
    for name in ("build", "source", "wine", "wineserver", "arch", "out"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--strokes", type=int, default=50)
    args = parser.parse_args()
    lesson = Class(args.build, args.source, args.wine, args.wineserver, args.arch, args.out)
    problems = []
    try:
        teacher, student = lesson.teacher, lesson.student
        t_places = teacher.places("MainWnd.xml", teacher.size, "ClassOverBtn=hide", "Switch_T_S_MicPart=tab0")
        # Begin is taken once the teacher's window shows both users in the room.
        wait_for("both users in the room", lambda: lesson.room.joined() == {lesson.TEACHER, lesson.STUDENT}, 30, 0.2)
        wait_for("the teacher's roster to list a teacher and a student", lambda: roster_marks(teacher, t_places) == (1, 1),
                 20, 0.3)
        teacher.click(t_places["ClassBeginBtn"])
        wait_for("the class to begin", lambda: 2 in room_states(lesson, 811, lesson.TEACHER))
        panel_window, panel_origin, panel_size = teacher.find_window("ControlPanelWnd", 10)
        panel = teacher.places("ControlPanelWnd.xml", panel_size)
        s_area = student.places("MainWnd.xml", student.size, "MainScreenCtner=show")["MainScreenCtner"]
        before = student.grab(s_area)
        teacher.xdotool("windowraise", panel_window)  # no window manager keeps the panel above its owner
        time.sleep(0.3)
        teacher.click(panel["WhiteBoardCheck"], origin=panel_origin)
        wait_for("the whiteboard on the student's screen",
                 lambda: not student.grab(s_area).same_as(before), 10, 0.2)
        time.sleep(1)
        pick_pen(teacher, 4, PEN - 2)
        wait_for("the room to see the black pen", lambda: any(m["head"][10:14] == "%02x%02x" % (5, PEN) for m in
                                                              lesson.room.messages(818, lesson.TEACHER)))
        t_board, s_board = measure_boards(lesson)
        tabs = teacher.places("WhiteboardWnd.xml", (t_board.width, t_board.height), "TabArea=show")["TabArea"]
        latencies = []
        for i in range(args.strokes):
            latency, problem = draw_stroke(lesson, t_board, s_board, stroke_line(teacher, t_board, tabs, i, args.strokes, PEN),
                                           PEN)
            if problem:
                problems.append(problem)
                print(problem, flush=True)
            else:
                latencies.append(latency)
            time.sleep(0.05)
        print("stroke latency, teacher mouse-up to student paint: median %.1f ms, worst %.1f ms; %d of %d strokes "
              "seen where they must land (teacher's %s, student's %s)"
              % (statistics.median(latencies) if latencies else 0.0, max(latencies) if latencies else 0.0,
                 len(latencies), args.strokes, t_board, s_board), flush=True)
        if problems:
            raise SystemExit("%d strokes missing or misplaced on the student's board" % len(problems))
    except BaseException:
        for client in (lesson.teacher, lesson.student):
            client.screenshot(os.path.join(args.out, "failure-%s.png" % client.name))
        raise
    finally:
        lesson.close()


if __name__ == "__main__":
    main()
