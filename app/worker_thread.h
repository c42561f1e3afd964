// The thread-and-timer pair that both workers share.
#ifndef WORKER_THREAD_H
#define WORKER_THREAD_H

class QThread;
class QTimer;

// The timer stays on the GUI thread; the thread's `started` signal reaches it
// as a queued call. A start that arrives after the worker was stopped again is
// dropped, so a quick Resume-then-Stop cannot leave a timer ticking.
void startTimerWhenThreadStarts(QThread *thread, QTimer *timer);

// Ends the thread's idle event loop and waits for it, then stops the timer.
void stopThreadAndTimer(QThread *thread, QTimer *timer);

#endif
