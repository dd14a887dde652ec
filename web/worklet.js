// The capture's audio thread: gathers the chosen channel of the input into blocks and posts each
// to the worker, numbered, as a transferable buffer; the page's main thread never sees them.

// Frames a block holds: 2048 at 48 kHz is about 43 ms, small enough for a live display, large
// enough that posting costs little.
const BLOCK_FRAMES = 2048;

class CaptureProcessor extends AudioWorkletProcessor {
  constructor(options) {
    super();
    const o = (options && options.processorOptions) || {};
    this.channel = Math.max(0, (o.channel | 0) - 1);  // 1-based from the page
    this.port_ = null;                                 // the worker's end, once given
    this.block = new Float32Array(BLOCK_FRAMES);
    this.filled = 0;
    this.sequence = 0;  // every block gets a number, posted or not: the worker sees the gaps
    this.lost = 0;      // blocks that could not be posted
    this.running = true;
    this.port.onmessage = (e) => {
      if (e.data && e.data.port) this.port_ = e.data.port;
      if (e.data && e.data.stop) {
        this.running = false;
        if (this.port_) this.port_.postMessage({ end: true, sequence: this.sequence, lost: this.lost });
      }
    };
  }

  post() {
    const seq = this.sequence++;
    const block = this.block;
    this.block = new Float32Array(BLOCK_FRAMES);
    this.filled = 0;
    if (!this.port_) {
      this.lost++;
      return;
    }
    try {
      this.port_.postMessage({ sequence: seq, samples: block.buffer, lost: this.lost }, [block.buffer]);
    } catch (err) {
      this.lost++;
    }
  }

  process(inputs) {
    if (!this.running) return false;
    const input = inputs[0];
    // No input connected yet (or the channel is missing): nothing to copy this quantum.
    if (!input || input.length === 0) return true;
    const samples = input[Math.min(this.channel, input.length - 1)];
    let i = 0;
    while (i < samples.length) {
      const n = Math.min(samples.length - i, BLOCK_FRAMES - this.filled);
      this.block.set(samples.subarray(i, i + n), this.filled);
      this.filled += n;
      i += n;
      if (this.filled === BLOCK_FRAMES) this.post();
    }
    return true;
  }
}

registerProcessor('wobble-capture', CaptureProcessor);
