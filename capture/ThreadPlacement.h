#pragma once
// Where a camera's own thread may run.

// The interface thread is bound to the first processor, and a thread it
// starts inherits that binding. A camera thread calls this first so that its
// work (decoding, drawing the virtual camera's cards: 0.5 to 0.9 s a card on a
// busy machine) runs on any processor instead of holding up the 100 ms tick.
void LetThreadUseEveryProcessor();
