// The page side of the web platform: canvases as windows in the page's #screen, their pixels, the
// GL context, the Fullscreen API, modal message boxes, the Web Audio output and the waits that hand
// the page its turn (through Asyncify).
mergeInto(LibraryManager.library, {
    $kestruneWeb: {
        canvases: {},
        screen: function() {
            return document.getElementById('screen') || document.body;
        },
    },

    kestrune_web_create_canvas__deps: ['$kestruneWeb'],
    kestrune_web_create_canvas: function(id, title, x, y, width, height, gl) {
        var canvas = document.createElement('canvas');
        canvas.id = 'window-' + id;
        canvas.className = 'window';
        canvas.title = UTF8ToString(title);
        canvas.width = width;
        canvas.height = height;
        canvas.style.left = x + 'px';
        canvas.style.top = y + 'px';
        canvas.dataset.gl = gl ? '1' : '0';
        kestruneWeb.screen().appendChild(canvas);
        kestruneWeb.canvases[id] = {canvas: canvas, context: gl ? null : canvas.getContext('2d')};
    },

    kestrune_web_destroy_canvas__deps: ['$kestruneWeb'],
    kestrune_web_destroy_canvas: function(id) {
        var entry = kestruneWeb.canvases[id];
        if (!entry) return;
        if (document.fullscreenElement === entry.canvas) document.exitFullscreen().catch(function() {});
        entry.canvas.remove();
        delete kestruneWeb.canvases[id];
    },

    kestrune_web_move_canvas__deps: ['$kestruneWeb'],
    kestrune_web_move_canvas: function(id, x, y) {
        var entry = kestruneWeb.canvases[id];
        if (!entry) return;
        entry.canvas.style.left = x + 'px';
        entry.canvas.style.top = y + 'px';
    },

    // Minimising hides the canvas behind a button in the page's task bar that brings it back.
    kestrune_web_minimise_canvas__deps: ['$kestruneWeb'],
    kestrune_web_minimise_canvas: function(id) {
        var entry = kestruneWeb.canvases[id];
        var bar = document.getElementById('taskbar');
        if (!entry || !bar || entry.canvas.hidden) return;
        entry.canvas.hidden = true;
        var button = document.createElement('button');
        button.textContent = entry.canvas.title;
        button.onclick = function() {
            entry.canvas.hidden = false;
            button.remove();
        };
        bar.appendChild(button);
    },

    kestrune_web_raise_canvas__deps: ['$kestruneWeb'],
    kestrune_web_raise_canvas: function(id) {
        var entry = kestruneWeb.canvases[id];
        if (entry) kestruneWeb.screen().appendChild(entry.canvas);
    },

    // rgba: width x height pixels of 4 bytes in the module's memory, shown as they are.
    kestrune_web_present__deps: ['$kestruneWeb'],
    kestrune_web_present: function(id, rgba, width, height) {
        var entry = kestruneWeb.canvases[id];
        if (!entry || !entry.context) return;
        var bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
        entry.context.putImageData(new ImageData(bytes, width, height), 0, 0);
    },

    kestrune_web_screen_size__deps: ['$kestruneWeb'],
    kestrune_web_screen_size: function(size) {
        var screen = kestruneWeb.screen();
        HEAP32[size >> 2] = screen.clientWidth || 640;
        HEAP32[(size >> 2) + 1] = screen.clientHeight || 480;
    },

    // The window under a point of the page (or the capturing window, when one is given) and the
    // point in its canvas pixels, however the canvas is scaled; 0 when no window is there.
    kestrune_web_window_at__deps: ['$kestruneWeb'],
    kestrune_web_window_at: function(clientX, clientY, capture, point) {
        var id = capture;
        if (!id) {
            var element = document.elementFromPoint(clientX, clientY);
            if (!element || element.className !== 'window') return 0;
            id = Number(element.id.substring(7));
        }
        var entry = kestruneWeb.canvases[id];
        if (!entry) return 0;
        var rect = entry.canvas.getBoundingClientRect();
        var scaleX = rect.width > 0 ? entry.canvas.width / rect.width : 1;
        var scaleY = rect.height > 0 ? entry.canvas.height / rect.height : 1;
        HEAP32[point >> 2] = Math.floor((clientX - rect.left) * scaleX);
        HEAP32[(point >> 2) + 1] = Math.floor((clientY - rect.top) * scaleY);
        return id;
    },

    // The Fullscreen API where the browser allows it (it needs a recent click); otherwise the
    // window stays where it is, which is what the show sees as a mode that could not be set.
    kestrune_web_request_fullscreen__deps: ['$kestruneWeb'],
    kestrune_web_request_fullscreen: function(id) {
        var entry = kestruneWeb.canvases[id];
        if (!entry || !entry.canvas.requestFullscreen || !document.fullscreenEnabled) return 0;
        entry.canvas.requestFullscreen().catch(function() {});
        return 1;
    },

    kestrune_web_exit_fullscreen: function() {
        if (document.fullscreenElement) document.exitFullscreen().catch(function() {});
    },

    // A WebGL context for the legacy GL emulation; the drawing buffer is kept so that the page
    // (and its tests) can read what was drawn.
    kestrune_web_gl_context__deps: ['$kestruneWeb', '$Browser'],
    kestrune_web_gl_context: function(id) {
        var entry = kestruneWeb.canvases[id];
        if (!entry) return 0;
        Module.canvas = entry.canvas;
        var context = Browser.createContext(entry.canvas, true, true,
            {depth: true, alpha: false, antialias: false, preserveDrawingBuffer: true});
        return context ? 1 : 0;
    },

    kestrune_web_set_status: function(text) {
        var status = document.getElementById('status');
        if (status) status.textContent = UTF8ToString(text);
    },

    // Waits for the page's next animation frame: the browser composites and delivers input.
    // Module.frameCosts keeps the time each frame took the program between two waits (ms), and
    // Module.firstFrameAt the page time of the first frame (a page may clear it to time from then).
    kestrune_web_next_frame__deps: ['$kestruneWeb', '$callUserCallback'],
    kestrune_web_next_frame: function() {
        var now = performance.now();
        var costs = Module.frameCosts || (Module.frameCosts = []);
        if (Module.firstFrameAt === undefined) Module.firstFrameAt = now;
        if (kestruneWeb.woke !== undefined && costs.length < 100000) costs.push(now - kestruneWeb.woke);
        return Asyncify.handleSleep(function(wakeUp) {
            {{{ runtimeKeepalivePush() }}}
            requestAnimationFrame(function() {
                {{{ runtimeKeepalivePop() }}}
                kestruneWeb.woke = performance.now();
                callUserCallback(wakeUp);
            });
        });
    },

    // A modal DOM dialog with an OK button; returns once it has been closed.
    kestrune_web_message_box__deps: ['$callUserCallback'],
    kestrune_web_message_box: function(title, text) {
        var caption = UTF8ToString(title), message = UTF8ToString(text);
        return Asyncify.handleSleep(function(wakeUp) {
            var dialog = document.createElement('dialog');
            dialog.className = 'message-box';
            var heading = document.createElement('h2');
            heading.textContent = caption;
            var body = document.createElement('p');
            body.textContent = message;
            var form = document.createElement('form');
            form.method = 'dialog';
            var ok = document.createElement('button');
            ok.textContent = 'OK';
            form.appendChild(ok);
            dialog.append(heading, body, form);
            dialog.addEventListener('close', function() {
                {{{ runtimeKeepalivePop() }}}
                dialog.remove();
                callUserCallback(wakeUp);
            });
            document.body.appendChild(dialog);
            {{{ runtimeKeepalivePush() }}}
            dialog.showModal();
        });
    },

    // Web Audio: a script processor on the page's thread pulls interleaved 16-bit frames from the
    // module (fill) as the audio clock asks for them.
    $kestruneAudio: {context: null, node: null, tap: null, tapFrames: 0},
    kestrune_web_audio_open__deps: ['$kestruneAudio'],
    kestrune_web_audio_open: function(rate, frames, fill, scratch) {
        var Context = window.AudioContext || window.webkitAudioContext;
        if (!Context) return 0;
        var context;
        try {
            context = new Context({sampleRate: rate});
        } catch (e) {
            return 0;
        }
        var node = context.createScriptProcessor(frames, 0, 2);
        var tapSeconds = Number(new URLSearchParams(location.search).get('audiotap') || 0);
        if (tapSeconds > 0) {
            kestruneAudio.tap = new Int16Array(Math.ceil(tapSeconds * rate) * 2);
            kestruneAudio.tapFrames = 0;
            Module.audioTap = kestruneAudio;
        }
        node.onaudioprocess = function(event) {
            var left = event.outputBuffer.getChannelData(0);
            var right = event.outputBuffer.getChannelData(1);
            var count = left.length;
            getWasmTableEntry(fill)(count);
            var samples = new Int16Array(HEAPU8.buffer, scratch, count * 2);
            for (var i = 0; i < count; ++i) {
                left[i] = samples[2 * i] / 32768;
                right[i] = samples[2 * i + 1] / 32768;
            }
            var tap = kestruneAudio.tap;
            if (tap && kestruneAudio.tapFrames * 2 < tap.length) {
                var room = Math.min(count, tap.length / 2 - kestruneAudio.tapFrames);
                tap.set(samples.subarray(0, room * 2), kestruneAudio.tapFrames * 2);
                kestruneAudio.tapFrames += room;
            }
        };
        node.connect(context.destination);
        if (context.state !== 'running') context.resume().catch(function() {});
        kestruneAudio.context = context;
        kestruneAudio.node = node;
        return 1;
    },

    kestrune_web_audio_close__deps: ['$kestruneAudio'],
    kestrune_web_audio_close: function() {
        if (kestruneAudio.node) kestruneAudio.node.disconnect();
        if (kestruneAudio.context) kestruneAudio.context.close().catch(function() {});
        kestruneAudio.node = null;
        kestruneAudio.context = null;
    },
});
