// Included ahead of the earlier revision's engine sources: its names
// changed, so that it links beside this build's engine.
#define Ball_engine EarlierBall_engine
#define InlineGenerator EarlierInlineGenerator
#define distance earlierDistance
#define chooseAllActions earlierChooseAllActions
#define stepArena earlierStepArena
#define nearCircles earlierNearCircles
#define moveLanes earlierMoveLanes
#define processor earlierProcessor
