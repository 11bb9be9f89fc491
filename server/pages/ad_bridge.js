// The ad pages' side of the library's bridge. Messages go to the native handler
// "tavro"; answers come back as calls of a named page function with one text: a JSON
// envelope {"ret":..,"msg":..,"params":<base64 of a JSON text>}.
(function () {
  'use strict';
  var pending = {};
  var seq = 0;

  function channel() {
    var w = window.webkit;
    return w && w.messageHandlers && w.messageHandlers.tavro;
  }

  function decodeParams(b64) {
    if (!b64) return {};
    try {
      var bytes = Uint8Array.from(atob(b64), function (c) { return c.charCodeAt(0); });
      return JSON.parse(new TextDecoder('utf-8').decode(bytes));
    } catch (e) {
      return {};
    }
  }

  // call(method, params[, onReply]): onReply(ret, msg, params) when the native side answers.
  function call(method, params, onReply) {
    var message = { handle: 'tavro', action: 'jsbridge', method: { method: method, params: params || {} } };
    if (onReply) {
      var name = '__qvadReply' + (++seq);
      pending[name] = onReply;
      window[name] = function (text) {
        delete window[name];
        var reply = {};
        try { reply = JSON.parse(text); } catch (e) { /* keep the empty answer */ }
        onReply(reply.ret, reply.msg, decodeParams(reply.params));
      };
      message.method.callback = name;
    }
    var ch = channel();
    if (!ch) {
      console.log('qvad bridge: no native channel for ' + method);
      return false;
    }
    ch.postMessage(message);
    return true;
  }

  window.qvadBridge = {
    call: call,
    event: function (name) { return call('adCallBack', { action: name }); },
    toast: function (text, onShown) { return call('toast', { text: text }, onShown); },
    alert: function (title, message, buttons, onTap) {
      var p = { title: title, message: message };
      (buttons || []).slice(0, 3).forEach(function (b, i) { p['button' + (i + 1)] = b; });
      return call('alert', p, onTap);
    },
    linksInNewWindow: function (on, onDone) { return call('pageConfig', { link_new_window: !!on }, onDone); },
    close: function () { return call('pageClose', {}); }
  };

  // The library tells the page when the app leaves and returns to the foreground.
  var listeners = { foreground: [], background: [] };
  window.native = {
    onforeground: function () { listeners.foreground.forEach(function (f) { f(); }); },
    onbackground: function () { listeners.background.forEach(function (f) { f(); }); },
    on: function (what, f) { if (listeners[what]) listeners[what].push(f); }
  };
})();
